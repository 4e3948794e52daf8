#include "logging/logger.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logging/recording_log_handler.hpp"

namespace lumenary::logging {
namespace {

using testing::RecordingLogHandler;

struct LoggerTest : ::testing::Test {
    RecordingLogHandler handler{"recorder", LogLevel::info};
    Logger logger{"test.logger", handler};

    const std::vector<testing::RecordedEntry>& records() const { return *handler.records(); }
};

TEST_F(LoggerTest, DroppedRecordEvaluatesNothing) {
    bool evaluated = false;
    logger.debug(
        [&] {
            evaluated = true;
            return "message";
        },
        [&] {
            evaluated = true;
            return Metadata{{"k", "v"}};
        },
        [&] {
            evaluated = true;
            return "source";
        });
    logger.log(LogLevel::trace, [&] {
        evaluated = true;
        return std::string("message");
    });

    EXPECT_FALSE(evaluated);
    EXPECT_TRUE(records().empty());
}

TEST_F(LoggerTest, AdmittedRecordEvaluatesMessageThenMetadataThenSource) {
    std::vector<std::string> order;
    logger.warning(
        [&] {
            order.push_back("message");
            return "m";
        },
        [&] {
            order.push_back("metadata");
            return Metadata{};
        },
        [&] {
            order.push_back("source");
            return "s";
        });

    EXPECT_EQ(order, (std::vector<std::string>{"message", "metadata", "source"}));
    ASSERT_EQ(records().size(), 1U);
    EXPECT_EQ(records()[0].message, "m");
    EXPECT_EQ(records()[0].source, "s");
}

TEST_F(LoggerTest, EachLevelMethodLogsAtItsLevelAndCriticalAlwaysReachesTheHandler) {
    logger.setLogLevel(LogLevel::trace);
    logger.trace("t");
    logger.debug("d");
    logger.info("i");
    logger.notice("n");
    logger.warning("w");
    logger.error("e");
    logger.critical("c");
    std::vector<LogLevel> levels;
    for (const auto& record : records()) levels.push_back(record.level);
    EXPECT_EQ(levels, std::vector<LogLevel>(allLogLevels.begin(), allLogLevels.end()));

    RecordingLogHandler strictest{"strictest", LogLevel::critical};
    Logger strict{"strict", strictest};
    strict.error("dropped");
    strict.critical("kept");
    ASSERT_EQ(strictest.records()->size(), 1U);
    EXPECT_EQ(strictest.records()->front().message, "kept");
}

TEST_F(LoggerTest, PassesMetadataOrItsAbsence) {
    logger.info("with", Metadata{{"key", "value"}});
    logger.info("without");

    ASSERT_EQ(records().size(), 2U);
    EXPECT_EQ(records()[0].metadata, (Metadata{{"key", "value"}}));
    EXPECT_EQ(records()[1].metadata, std::nullopt);
}

TEST_F(LoggerTest, SourceOfAFileIdentifierIsItsModule) {
    struct Case {
        const char* fileID;
        const char* source;
    };
    for (auto [fileID, source] : {Case{"MCP/Server", "MCP"}, Case{"Server", "n/a"}, Case{"/Server", ""}}) {
        handler.records()->clear();
        logger.info("m", {}, {}, Logger::Location::fileID(fileID, "start()"));
        ASSERT_EQ(records().size(), 1U) << fileID;
        EXPECT_EQ(records()[0].source, source) << fileID;
        EXPECT_EQ(records()[0].file, fileID);
        EXPECT_EQ(records()[0].function, "start()");
    }
}

TEST_F(LoggerTest, GivenSourceWinsAndAnAbsentOneIsDerived) {
    logger.info("explicit", {}, "MCP", Logger::Location::fileID("Other/File", "f()"));
    logger.info(
        "absent", {}, [] { return std::optional<std::string>(); }, Logger::Location::fileID("Other/File", "f()"));

    ASSERT_EQ(records().size(), 2U);
    EXPECT_EQ(records()[0].source, "MCP");
    EXPECT_EQ(records()[1].source, "Other");
}

TEST_F(LoggerTest, DefaultLocationIsTheCallerAndItsSourceTheCallersDirectory) {
    int line = __LINE__ + 1;
    logger.info("here");

    ASSERT_EQ(records().size(), 1U);
    EXPECT_EQ(records()[0].source, "logging");
    EXPECT_TRUE(records()[0].file.ends_with("tests/logging/logger_test.cpp")) << records()[0].file;
    EXPECT_EQ(records()[0].line, static_cast<std::size_t>(line));
    EXPECT_NE(records()[0].function.find("TestBody"), std::string::npos) << records()[0].function;
}

TEST(LoggerCurrentModule, OfFileIdentifierIsTheTextBeforeTheFirstSlash) {
    EXPECT_EQ(Logger::currentModule(Logger::FileID{"MCP/Server"}), "MCP");
    EXPECT_EQ(Logger::currentModule(Logger::FileID{"MCP/Sub/Server"}), "MCP");
    EXPECT_EQ(Logger::currentModule(Logger::FileID{"Server"}), "n/a");
    EXPECT_EQ(Logger::currentModule(Logger::FileID{"/Server"}), "");
}

TEST(LoggerCurrentModule, OfFilePathIsTheDirectoryHoldingTheFile) {
    EXPECT_EQ(Logger::currentModule(Logger::FilePath{"/root/a/b/c.txt"}), "b");
    EXPECT_EQ(Logger::currentModule(Logger::FilePath{"b/c.txt/"}), "c.txt");
    EXPECT_EQ(Logger::currentModule(Logger::FilePath{"a/b/c.txt"}), "b");
    EXPECT_EQ(Logger::currentModule(Logger::FilePath{"/b/c.txt"}), "b");
    EXPECT_EQ(Logger::currentModule(Logger::FilePath{"//c.txt"}), "");
    EXPECT_EQ(Logger::currentModule(Logger::FilePath{"b/c.txt"}), "n/a");
    EXPECT_EQ(Logger::currentModule(Logger::FilePath{"/c.txt"}), "n/a");
    EXPECT_EQ(Logger::currentModule(Logger::FilePath{"c.txt"}), "n/a");
}

TEST_F(LoggerTest, AccessorsReadAndWriteThroughTheHandler) {
    EXPECT_EQ(logger.label(), "test.logger");
    EXPECT_EQ(logger.logLevel(), LogLevel::info);

    logger.setMetadataValue("user", MetadataValue("alice"));
    EXPECT_EQ(logger.metadataValue("user"), MetadataValue("alice"));
    EXPECT_EQ(logger.handler().metadata(), (Metadata{{"user", "alice"}}));
    logger.setMetadataValue("user", std::nullopt);
    EXPECT_EQ(logger.metadataValue("user"), std::nullopt);

    EXPECT_FALSE(logger.metadataProvider().has_value());
    RecordingLogHandler withProvider{"provided"};
    withProvider.setMetadataProvider(MetadataProvider([] { return Metadata{{"p", "1"}}; }));
    logger.setHandler(withProvider);
    ASSERT_TRUE(logger.metadataProvider().has_value());
    EXPECT_EQ(logger.metadataProvider()->get(), (Metadata{{"p", "1"}}));
}

TEST_F(LoggerTest, ChangingACopyLeavesTheOriginalUnchanged) {
    Logger copy = logger;
    copy.setLogLevel(LogLevel::trace);
    copy.setMetadataValue("only", MetadataValue("copy"));

    EXPECT_EQ(logger.logLevel(), LogLevel::info);
    EXPECT_EQ(logger.metadataValue("only"), std::nullopt);
    EXPECT_EQ(copy.logLevel(), LogLevel::trace);
    EXPECT_EQ(copy.metadataValue("only"), MetadataValue("copy"));

    Logger second = logger;
    second.setHandler(RecordingLogHandler("replacement", LogLevel::error));
    EXPECT_EQ(logger.logLevel(), LogLevel::info);
    EXPECT_EQ(second.logLevel(), LogLevel::error);
    EXPECT_EQ(second.label(), "test.logger");
}

TEST_F(LoggerTest, ChangingTheOriginalLeavesACopyUnchanged) {
    Logger copy = logger;
    logger.setLogLevel(LogLevel::error);

    EXPECT_EQ(copy.logLevel(), LogLevel::info);
    EXPECT_EQ(logger.logLevel(), LogLevel::error);
}

}  // namespace
}  // namespace lumenary::logging
