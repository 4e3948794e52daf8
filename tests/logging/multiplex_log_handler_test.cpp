#include "logging/multiplex_log_handler.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "logging/logger.hpp"
#include "logging/recording_log_handler.hpp"

namespace lumenary::logging {
namespace {

using testing::RecordingLogHandler;
using testing::RecordLog;

MetadataProvider providerOf(Metadata metadata) {
    return MetadataProvider([metadata] { return metadata; });
}

std::vector<std::string> handlerNames(const RecordLog& records) {
    std::vector<std::string> names;
    for (const auto& record : records) names.push_back(record.handlerName);
    return names;
}

struct MultiplexLogHandlerTest : ::testing::Test {
    std::shared_ptr<RecordLog> records = std::make_shared<RecordLog>();
    RecordingLogHandler first{"first", LogLevel::debug, records};
    RecordingLogHandler second{"second", LogLevel::error, records};
};

TEST_F(MultiplexLogHandlerTest, ReportsTheLowestLevelAndForwardsOnlyToHandlersThatAdmitTheRecord) {
    MultiplexLogHandler multiplex({first, second});
    EXPECT_EQ(multiplex.logLevel(), LogLevel::debug);

    multiplex.log(LogLevel::warning, "warned", nullptr, "src", "file", "fn", 3);
    EXPECT_EQ(handlerNames(*records), std::vector<std::string>{"first"});

    records->clear();
    multiplex.log(LogLevel::error, "failed", nullptr, "src", "file", "fn", 3);
    EXPECT_EQ(handlerNames(*records), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(records->back().message, "failed");
    EXPECT_EQ(records->back().source, "src");
    EXPECT_EQ(records->back().line, 3U);
}

TEST_F(MultiplexLogHandlerTest, ThroughALoggerEachHandlerFiltersByItsOwnLevel) {
    Logger logger("multi", MultiplexLogHandler({first, second}));
    logger.trace("nobody");
    logger.info("first only");
    logger.critical("both");

    EXPECT_EQ(handlerNames(*records), (std::vector<std::string>{"first", "first", "second"}));
    EXPECT_EQ(records->at(0).message, "first only");
    EXPECT_EQ(records->at(2).message, "both");
}

TEST_F(MultiplexLogHandlerTest, SettingTheLevelSetsEveryHandler) {
    MultiplexLogHandler multiplex({first, second});
    multiplex.setLogLevel(LogLevel::notice);

    EXPECT_EQ(multiplex.logLevel(), LogLevel::notice);
    multiplex.log(LogLevel::info, "below", nullptr, "s", "f", "g", 1);
    multiplex.log(LogLevel::notice, "at", nullptr, "s", "f", "g", 1);
    EXPECT_EQ(handlerNames(*records), (std::vector<std::string>{"first", "second"}));
}

TEST_F(MultiplexLogHandlerTest, MetadataLetsLaterHandlersWinWhileTheSubscriptTakesTheFirst) {
    first.setMetadataValue("k", MetadataValue("first"));
    second.setMetadataValue("k", MetadataValue("second"));
    second.setMetadataValue("only", MetadataValue("second"));
    MultiplexLogHandler multiplex({first, second});

    EXPECT_EQ(multiplex.metadata(), (Metadata{{"k", "second"}, {"only", "second"}}));
    EXPECT_EQ(multiplex.metadataValue("k"), MetadataValue("first"));
    EXPECT_EQ(multiplex.metadataValue("only"), MetadataValue("second"));
    EXPECT_EQ(multiplex.metadataValue("missing"), std::nullopt);
}

TEST_F(MultiplexLogHandlerTest, MetadataTakesEachHandlersProviderOverItsOwnAndTheMultiplexProviderOverAll) {
    first.setMetadata({{"a", "own"}, {"b", "own"}, {"c", "own"}});
    first.setMetadataProvider(providerOf({{"b", "first provider"}, {"c", "first provider"}}));
    MultiplexLogHandler multiplex({first, second}, providerOf({{"c", "multiplex provider"}}));

    EXPECT_EQ(multiplex.metadata(), (Metadata{{"a", "own"}, {"b", "first provider"}, {"c", "multiplex provider"}}));
}

TEST_F(MultiplexLogHandlerTest, WritesOfMetadataReachEveryHandler) {
    MultiplexLogHandler multiplex({first, second});
    multiplex.setMetadataValue("k", MetadataValue("v"));
    multiplex.setMetadataValue("gone", MetadataValue("soon"));
    multiplex.setMetadataValue("gone", std::nullopt);
    for (const auto& handler : multiplex.handlers()) EXPECT_EQ(handler->metadata(), (Metadata{{"k", "v"}}));

    multiplex.setMetadata({{"x", "y"}});
    for (const auto& handler : multiplex.handlers()) EXPECT_EQ(handler->metadata(), (Metadata{{"x", "y"}}));
}

TEST_F(MultiplexLogHandlerTest, WithoutAnyProviderItReportsNone) {
    EXPECT_FALSE(MultiplexLogHandler({first, second}).metadataProvider().has_value());
    EXPECT_FALSE(MultiplexLogHandler({first}).metadataProvider().has_value());
}

TEST_F(MultiplexLogHandlerTest, ProviderCombinesHandlerProvidersWithItsOwnWinning) {
    first.setMetadataProvider(providerOf({{"k", "handler"}, {"h", "1"}}));
    MultiplexLogHandler single({first}, providerOf({{"k", "own"}}));
    ASSERT_TRUE(single.metadataProvider().has_value());
    EXPECT_EQ(single.metadataProvider()->get(), (Metadata{{"k", "own"}, {"h", "1"}}));

    MultiplexLogHandler onlyHandlers({first, second});
    ASSERT_TRUE(onlyHandlers.metadataProvider().has_value());
    EXPECT_EQ(onlyHandlers.metadataProvider()->get(), (Metadata{{"k", "handler"}, {"h", "1"}}));

    MultiplexLogHandler onlyOwn({second}, providerOf({{"o", "1"}}));
    EXPECT_EQ(onlyOwn.metadataProvider()->get(), (Metadata{{"o", "1"}}));
}

TEST_F(MultiplexLogHandlerTest, SettingTheProviderSetsEveryHandlerButNotItsOwn) {
    MultiplexLogHandler multiplex({first, second});
    multiplex.setMetadataProvider(providerOf({{"p", "1"}}));

    for (const auto& handler : multiplex.handlers()) EXPECT_TRUE(handler->metadataProvider().has_value());
    ASSERT_TRUE(multiplex.metadataProvider().has_value());
    EXPECT_EQ(multiplex.metadataProvider()->get(), (Metadata{{"p", "1"}}));
    EXPECT_EQ(multiplex.metadata(), (Metadata{{"p", "1"}}));

    multiplex.setMetadataProvider(std::nullopt);
    EXPECT_FALSE(multiplex.metadataProvider().has_value());
}

TEST_F(MultiplexLogHandlerTest, CopiesAreIndependent) {
    MultiplexLogHandler original({first, second});
    MultiplexLogHandler copy = original;
    copy.setLogLevel(LogLevel::critical);
    copy.setMetadataValue("k", MetadataValue("copy"));

    EXPECT_EQ(original.logLevel(), LogLevel::debug);
    EXPECT_EQ(original.metadataValue("k"), std::nullopt);
    original.log(LogLevel::error, "m", nullptr, "s", "f", "g", 1);
    EXPECT_EQ(handlerNames(*records), (std::vector<std::string>{"first", "second"}));
}

TEST(MultiplexLogHandlerEmpty, ReportsTrace) {
    EXPECT_EQ(MultiplexLogHandler({}).logLevel(), LogLevel::trace);
}

TEST(MultiplexLogHandlerDeathTest, ReadingMetadataWithoutHandlersStopsTheProcess) {
    MultiplexLogHandler empty({});
    EXPECT_DEATH(static_cast<void>(empty.metadata()), "no handlers");
}

}  // namespace
}  // namespace lumenary::logging
