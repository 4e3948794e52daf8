#include "logging/diagnostics_writer.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lumenary::logging {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A pipe whose write end goes to the writer under test, while the test reads
// the other end (or does not).
class Pipe {
public:
    Pipe() {
        int ends[2];
        if (::pipe(ends) != 0) throw std::runtime_error("pipe failed");
        readEnd_ = ends[0];
        writeEnd_ = ends[1];
    }
    ~Pipe() {
        if (readEnd_ >= 0) ::close(readEnd_);
        if (writeEnd_ >= 0) ::close(writeEnd_);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    // Fills the pipe to the last byte, as a reader that stopped reading
    // leaves it; returns how many bytes that took.
    std::size_t fill() {
        const int flags = ::fcntl(writeEnd_, F_GETFL);
        ::fcntl(writeEnd_, F_SETFL, flags | O_NONBLOCK);
        std::size_t filled = 0;
        const std::string chunk(4096, '.');
        for (std::size_t size : {chunk.size(), std::size_t{1}}) {
            ssize_t written;
            while ((written = ::write(writeEnd_, chunk.data(), size)) > 0) filled += static_cast<std::size_t>(written);
        }
        ::fcntl(writeEnd_, F_SETFL, flags);
        return filled;
    }

    // The write end, for a writer that takes it over.
    int releaseWriteEnd() { return std::exchange(writeEnd_, -1); }

    void closeReadEnd() { ::close(std::exchange(readEnd_, -1)); }

    // Reads until `enough` says the text read so far suffices, the writer's
    // end is closed, or the deadline passes.
    template <typename Enough>
    std::string readUntil(Enough enough, Clock::time_point deadline) {
        std::string text;
        char buffer[4096];
        while (!enough(text)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left <= 0ms) break;
            pollfd entry{readEnd_, POLLIN, 0};
            if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
            const ssize_t received = ::read(readEnd_, buffer, sizeof buffer);
            if (received <= 0) break;
            text.append(buffer, static_cast<std::size_t>(received));
        }
        return text;
    }

    std::string readToEnd(Clock::time_point deadline) {
        return readUntil([](const std::string&) { return false; }, deadline);
    }

private:
    int readEnd_ = -1;
    int writeEnd_ = -1;
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "a line was cut: " << text.substr(start);
    return lines;
}

// Ten bytes with its line feed, so a byte bound says exactly how many fit.
// The buffer holds any int, so the compiler sees no truncation.
std::string numberedLine(int number) {
    char line[32];
    std::snprintf(line, sizeof line, "line %04d\n", number);
    return line;
}

std::optional<long> droppedCount(const std::string& line) {
    long count = 0;
    char rest[128] = {};
    if (std::sscanf(line.c_str(), "[Lumenary] %ld diagnostic lines were dropped %127[^\n]", &count, rest) != 2) {
        return std::nullopt;
    }
    if (std::string(rest) != "while standard error was not being read") return std::nullopt;
    return count;
}

struct BurstCase {
    const char* name;
    DiagnosticsWriter::Limits limits;
    int expectedKept;
};

class DiagnosticsWriterBurst : public ::testing::TestWithParam<BurstCase> {};

TEST_P(DiagnosticsWriterBurst, NeverWaitsForTheReaderAndCountsWhatItDropsOnce) {
    const auto& given = GetParam();
    constexpr int burst = 2000;
    Pipe pipe;
    const std::size_t stale = pipe.fill();
    DiagnosticsWriter writer(pipe.releaseWriteEnd(), given.limits, 1s);

    const auto burstDeadline = Clock::now() + 5s;
    for (int number = 0; number < burst; ++number) writer.write(numberedLine(number));
    EXPECT_LT(Clock::now(), burstDeadline) << "printing waited for a reader that never reads";

    // Once the reader catches up, what was kept arrives, then the count.
    const auto text = pipe.readUntil(
        [&](const std::string& read) { return read.find("dropped") != std::string::npos && read.back() == '\n'; },
        Clock::now() + 10s);
    ASSERT_GE(text.size(), stale);
    auto lines = linesOf(text.substr(stale));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(given.expectedKept) + 1) << text.substr(stale);
    for (int number = 0; number < given.expectedKept; ++number) {
        EXPECT_EQ(lines[static_cast<std::size_t>(number)] + '\n', numberedLine(number));
    }
    EXPECT_EQ(droppedCount(lines.back()), burst - given.expectedKept) << lines.back();

    // Lines after the sink drained arrive as usual, with no second count.
    for (int number = 0; number < 3; ++number) writer.write(numberedLine(burst + number));
    const auto after = pipe.readUntil([](const std::string& read) { return read.size() >= 30; }, Clock::now() + 10s);
    EXPECT_EQ(after, numberedLine(burst) + numberedLine(burst + 1) + numberedLine(burst + 2));
}

INSTANTIATE_TEST_SUITE_P(Bounds, DiagnosticsWriterBurst,
                         ::testing::Values(BurstCase{"ByBytes", {.bytes = 4096, .lines = 100'000}, 409},
                                           BurstCase{"ByLines", {.bytes = 1024 * 1024, .lines = 100}, 100}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(DiagnosticsWriter, AFileTakesEveryLineOfABurstThatOverflowsTheQueue) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::string expected;
    {
        DiagnosticsWriter writer(::dup(::fileno(file)), {.bytes = 4096, .lines = 100}, 10s);
        for (int number = 0; number < 2000; ++number) {
            writer.write(numberedLine(number));
            expected += numberedLine(number);
        }
    }

    std::string written(expected.size() + 1, '\0');
    std::rewind(file);
    written.resize(std::fread(written.data(), 1, written.size(), file));
    std::fclose(file);
    EXPECT_EQ(written, expected);
}

TEST(DiagnosticsWriter, TextsFromManyThreadsArriveWholeAndInEachThreadsOrder) {
    constexpr int threadCount = 4;
    constexpr int textsPerThread = 500;
    constexpr int linesPerText = 3;
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        DiagnosticsWriter writer(::dup(::fileno(file)), {}, 10s);
        std::vector<std::thread> threads;
        for (int thread = 0; thread < threadCount; ++thread) {
            threads.emplace_back([&writer, thread] {
                for (int number = 0; number < textsPerThread; ++number) {
                    std::string text;
                    for (int line = 0; line < linesPerText; ++line) {
                        text += "thread " + std::to_string(thread) + " text " + std::to_string(number) + " line " +
                                std::to_string(line) + "\n";
                    }
                    writer.write(text);
                }
            });
        }
        for (auto& thread : threads) thread.join();
    }

    std::string written(1024 * 1024, '\0');
    std::rewind(file);
    written.resize(std::fread(written.data(), 1, written.size(), file));
    std::fclose(file);
    const auto lines = linesOf(written);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(threadCount * textsPerThread * linesPerText));
    std::vector<int> nextNumber(threadCount, 0);
    for (std::size_t index = 0; index < lines.size(); index += linesPerText) {
        int thread = -1;
        int number = -1;
        ASSERT_EQ(std::sscanf(lines[index].c_str(), "thread %d text %d", &thread, &number), 2) << lines[index];
        ASSERT_TRUE(thread >= 0 && thread < threadCount) << lines[index];
        EXPECT_EQ(number, nextNumber[static_cast<std::size_t>(thread)]++) << "out of order: " << lines[index];
        for (int line = 0; line < linesPerText; ++line) {
            EXPECT_EQ(lines[index + static_cast<std::size_t>(line)],
                      "thread " + std::to_string(thread) + " text " + std::to_string(number) + " line " +
                          std::to_string(line))
                << "a text was split";
        }
    }
}

TEST(DiagnosticsWriter, ClosingWritesEverythingQueuedBeforeIt) {
    Pipe pipe;
    std::string expected;
    {
        DiagnosticsWriter writer(pipe.releaseWriteEnd(), {}, 10s);
        for (int number = 0; number < 500; ++number) {
            writer.write(numberedLine(number));
            expected += numberedLine(number);
        }
    }

    // The writer closed its end: reading to the end takes exactly what it wrote.
    EXPECT_EQ(pipe.readToEnd(Clock::now() + 10s), expected);
}

TEST(DiagnosticsWriter, ClosingGivesUpOnAReaderThatNeverReads) {
    Pipe pipe;
    pipe.fill();
    const auto closingDeadline = Clock::now() + 5s;
    {
        DiagnosticsWriter writer(pipe.releaseWriteEnd(), {}, 100ms);
        writer.write(numberedLine(0));
    }
    EXPECT_LT(Clock::now(), closingDeadline);
    // The writer's thread, still stuck, fails its write once nobody can read.
    pipe.closeReadEnd();
}

TEST(DiagnosticsWriter, AFlushGivesUpOnAReaderThatStoppedReadingLongBeforeItsTimeout) {
    Pipe pipe;
    pipe.fill();
    {
        DiagnosticsWriter writer(pipe.releaseWriteEnd(), {}, 100ms);
        writer.write(numberedLine(0));
        // Held for its whole timeout, this would outlast the test's.
        EXPECT_FALSE(writer.flush(24h));
    }
    pipe.closeReadEnd();
}

TEST(DiagnosticsWriterDeathTest, AChildForkedAfterTheWriterStartedStillWritesItsLastWords) {
    auto& writer = DiagnosticsWriter::standardError();
    writer.write("[DiagnosticsWriterTest] the standard-error writer is running before the fork\n");
    ASSERT_TRUE(writer.flush(5s));

    EXPECT_DEATH(abortWithDiagnostic("last words of the child"), "last words of the child");
}

}  // namespace
}  // namespace lumenary::logging
