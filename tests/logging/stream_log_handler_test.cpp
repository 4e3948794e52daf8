#include "logging/stream_log_handler.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "logging/capturing_output_stream.hpp"
#include "logging/logger.hpp"

namespace lumenary::logging {
namespace {

using testing::CapturingOutputStream;

const std::regex timestampPattern(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}[+-]\d{4})");

struct StreamLogHandlerTest : ::testing::Test {
    std::shared_ptr<CapturingOutputStream> stream = std::make_shared<CapturingOutputStream>();

    StreamLogHandler handlerLabelled(std::string label) { return StreamLogHandler(stream, std::move(label)); }

    // The written lines with their leading timestamp and blank checked and
    // removed.
    std::vector<std::string> linesAfterTimestamp() const {
        std::vector<std::string> lines;
        for (const auto& write : stream->writes()) {
            std::smatch match;
            EXPECT_TRUE(std::regex_search(write, match, timestampPattern, std::regex_constants::match_continuous))
                << write;
            EXPECT_EQ(write.substr(match.length(), 1), " ") << write;
            lines.push_back(write.substr(match.length() + 1));
        }
        return lines;
    }
};

TEST_F(StreamLogHandlerTest, WritesTimestampLevelLabelSourceAndMessageAsOneLine) {
    handlerLabelled("lbl").log(LogLevel::info, "hello", nullptr, "src", "file", "function", 1);

    EXPECT_EQ(linesAfterTimestamp(), std::vector<std::string>{"info lbl: [src] hello\n"});
}

TEST_F(StreamLogHandlerTest, EmptyLabelPutsTheColonRightAfterTheLevel) {
    handlerLabelled("").log(LogLevel::info, "hello", nullptr, "src", "file", "function", 1);

    EXPECT_EQ(linesAfterTimestamp(), std::vector<std::string>{"info: [src] hello\n"});
}

TEST_F(StreamLogHandlerTest, HandlerMetadataIsSortedByKeyAndCallMetadataOverridesForOneRecord) {
    auto handler = handlerLabelled("lbl");
    handler.setMetadataValue("bb", MetadataValue("two"));
    handler.setMetadataValue("aa", MetadataValue("one"));

    Metadata call{{"aa", "six"}};
    handler.log(LogLevel::warning, "first", nullptr, "src", "f", "g", 1);
    handler.log(LogLevel::warning, "second", &call, "src", "f", "g", 1);
    handler.log(LogLevel::warning, "third", nullptr, "src", "f", "g", 1);

    EXPECT_EQ(linesAfterTimestamp(), (std::vector<std::string>{
                                         "warning lbl: aa=one bb=two [src] first\n",
                                         "warning lbl: aa=six bb=two [src] second\n",
                                         "warning lbl: aa=one bb=two [src] third\n",
                                     }));
}

TEST_F(StreamLogHandlerTest, ProviderOverridesHandlerMetadataAndCallMetadataOverridesTheProvider) {
    auto handler = StreamLogHandler(stream, "lbl", MetadataProvider([] { return Metadata{{"aa", "provided"}}; }));
    handler.setMetadata({{"aa", "own"}, {"zz", "own"}});

    Metadata call{{"aa", "call"}};
    handler.log(LogLevel::info, "m", nullptr, "src", "f", "g", 1);
    handler.log(LogLevel::info, "m", &call, "src", "f", "g", 1);

    EXPECT_EQ(linesAfterTimestamp(), (std::vector<std::string>{
                                         "info lbl: aa=provided zz=own [src] m\n",
                                         "info lbl: aa=call zz=own [src] m\n",
                                     }));
}

TEST_F(StreamLogHandlerTest, RemovingTheLastKeyLeavesNoMetadataTextOrExtraSpace) {
    auto handler = handlerLabelled("lbl");
    handler.setMetadataValue("aa", MetadataValue("one"));
    handler.setMetadataValue("aa", std::nullopt);
    Metadata emptyCall;
    handler.log(LogLevel::info, "m", &emptyCall, "src", "f", "g", 1);

    EXPECT_EQ(handler.metadata(), Metadata{});
    EXPECT_EQ(linesAfterTimestamp(), std::vector<std::string>{"info lbl: [src] m\n"});
}

TEST_F(StreamLogHandlerTest, RendersStructuredValuesWithTheirTextForm) {
    Metadata call{{"list", MetadataValue::array({"a", "b"})}};
    handlerLabelled("lbl").log(LogLevel::info, "m", &call, "src", "f", "g", 1);

    EXPECT_EQ(linesAfterTimestamp(), std::vector<std::string>{"info lbl: list=[\"a\", \"b\"] [src] m\n"});
}

TEST_F(StreamLogHandlerTest, MessageIsWrittenUnescapedEvenAcrossLines) {
    handlerLabelled("lbl").log(LogLevel::error, "one\ntwo \"quoted\"", nullptr, "src", "f", "g", 1);

    EXPECT_EQ(linesAfterTimestamp(), std::vector<std::string>{"error lbl: [src] one\ntwo \"quoted\"\n"});
}

TEST_F(StreamLogHandlerTest, WithoutASourceTheDirectoryOfTheFileIsTheSource) {
    handlerLabelled("lbl").log(LogLevel::info, "m", nullptr, "/work/src/mcp/server.cpp", "f", 1);

    EXPECT_EQ(linesAfterTimestamp(), std::vector<std::string>{"info lbl: [mcp] m\n"});
}

TEST_F(StreamLogHandlerTest, ThroughALoggerOnlyAdmittedRecordsAreWritten) {
    Logger logger("lbl", handlerLabelled("lbl"));
    logger.debug("dropped");
    logger.info("kept", Metadata{{"k", "v"}}, "MCP");

    EXPECT_EQ(linesAfterTimestamp(), std::vector<std::string>{"info lbl: k=v [MCP] kept\n"});
}

TEST(StreamLogHandlerFactories, StartAtInfoWithoutMetadataOnTheSharedStandardStreams) {
    auto provider = MetadataProvider([] { return Metadata{{"p", "1"}}; });
    auto toStandardError = StreamLogHandler::standardError("err", provider);
    auto toStandardOutput = StreamLogHandler::standardOutput("out", std::nullopt);

    EXPECT_EQ(toStandardError.stream(), StdioOutputStream::standardError());
    EXPECT_EQ(toStandardOutput.stream(), StdioOutputStream::standardOutput());
    EXPECT_NE(StdioOutputStream::standardError(), StdioOutputStream::standardOutput());
    EXPECT_EQ(toStandardError.label(), "err");
    EXPECT_EQ(toStandardError.logLevel(), LogLevel::info);
    EXPECT_TRUE(toStandardError.metadata().empty());
    ASSERT_TRUE(toStandardError.metadataProvider().has_value());
    EXPECT_EQ(toStandardError.metadataProvider()->get(), (Metadata{{"p", "1"}}));
    EXPECT_FALSE(toStandardOutput.metadataProvider().has_value());
}

TEST(StreamLogHandlerTimestamp, IsLocalTimeWithOffset) {
    EXPECT_TRUE(std::regex_match(StreamLogHandler::timestamp(std::time(nullptr)), timestampPattern));

    const char* previous = std::getenv("TZ");
    std::string saved = previous ? previous : "";
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(StreamLogHandler::timestamp(0), "1970-01-01T00:00:00+0000");
    setenv("TZ", "EST5", 1);
    tzset();
    EXPECT_EQ(StreamLogHandler::timestamp(86400), "1970-01-01T19:00:00-0500");
    if (previous) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(StreamLogHandlerTimestamp, IsUnknownWhenTheTimeCannotBeConverted) {
    EXPECT_EQ(StreamLogHandler::timestamp(std::numeric_limits<std::time_t>::max()), "<unknown>");
}

// The bytes written so far to the file behind `file`, read from its
// descriptor, so nothing still buffered inside the FILE is seen.
std::string writtenBytes(std::FILE* file) {
    std::string bytes;
    char buffer[4096];
    for (off_t offset = 0;;) {
        ssize_t count = pread(fileno(file), buffer, sizeof buffer, offset);
        if (count <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(count));
        offset += count;
    }
    return bytes;
}

TEST(StdioOutputStream, FlushesAfterEveryWriteOnlyInAlwaysMode) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> flushed(std::tmpfile(), &std::fclose);
    std::unique_ptr<std::FILE, decltype(&std::fclose)> buffered(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(flushed && buffered);

    StdioOutputStream(flushed.get(), StdioOutputStream::FlushMode::always).write("line\n");
    StdioOutputStream(buffered.get(), StdioOutputStream::FlushMode::undefined).write("line\n");

    EXPECT_EQ(writtenBytes(flushed.get()), "line\n");
    EXPECT_EQ(writtenBytes(buffered.get()), "");
    std::fflush(buffered.get());
    EXPECT_EQ(writtenBytes(buffered.get()), "line\n");
}

TEST(StdioOutputStream, LinesFromManyThreadsNeverInterleave) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(file);
    // Small buffer: every line needs several writes to the descriptor.
    ASSERT_EQ(std::setvbuf(file.get(), nullptr, _IOFBF, 64), 0);
    auto stream = std::make_shared<StdioOutputStream>(file.get(), StdioOutputStream::FlushMode::always);
    Logger logger("worker", StreamLogHandler(stream, "worker"));

    constexpr int threadCount = 8;
    constexpr int linesPerThread = 300;
    constexpr std::size_t bodyLength = 500;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < threadCount; ++thread) {
        threads.emplace_back([logger, thread] {  // each thread logs through its own copy
            std::string body(bodyLength, static_cast<char>('a' + thread));
            for (int line = 0; line < linesPerThread; ++line) logger.info(body, {}, "test");
        });
    }
    for (auto& thread : threads) thread.join();

    std::string written = writtenBytes(file.get());
    const std::string prefix = " info worker: [test] ";
    std::size_t lines = 0;
    for (std::size_t start = 0; start < written.size();) {
        std::size_t end = written.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "last line is not whole";
        std::string line = written.substr(start, end - start);
        std::smatch timestamp;
        ASSERT_TRUE(std::regex_search(line, timestamp, timestampPattern, std::regex_constants::match_continuous))
            << line;
        std::string rest = line.substr(timestamp.length());
        ASSERT_EQ(rest.substr(0, prefix.size()), prefix) << line;
        std::string body = rest.substr(prefix.size());
        ASSERT_EQ(body.size(), bodyLength) << line;
        ASSERT_EQ(body, std::string(bodyLength, body.front())) << line;
        ++lines;
        start = end + 1;
    }
    EXPECT_EQ(lines, static_cast<std::size_t>(threadCount * linesPerThread));
}

}  // namespace
}  // namespace lumenary::logging
