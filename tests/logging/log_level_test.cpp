#include "logging/log_level.hpp"

#include <gtest/gtest.h>

namespace lumenary::logging {
namespace {

TEST(LogLevel, OrdersBySeverityLowestFirst) {
    EXPECT_LT(LogLevel::trace, LogLevel::debug);
    EXPECT_LT(LogLevel::debug, LogLevel::info);
    EXPECT_LT(LogLevel::info, LogLevel::notice);
    EXPECT_LT(LogLevel::notice, LogLevel::warning);
    EXPECT_LT(LogLevel::warning, LogLevel::error);
    EXPECT_LT(LogLevel::error, LogLevel::critical);
}

TEST(LogLevel, AllLevelsAreInDeclarationOrderAndRoundTripThroughTheirNames) {
    const char* names[] = {"trace", "debug", "info", "notice", "warning", "error", "critical"};
    ASSERT_EQ(allLogLevels.size(), std::size(names));
    for (std::size_t index = 0; index < allLogLevels.size(); ++index) {
        EXPECT_EQ(toString(allLogLevels[index]), names[index]);
        EXPECT_EQ(logLevelFromRawValue(names[index]), allLogLevels[index]);
    }
}

TEST(LogLevel, RawValueMatchIsExactAndCaseSensitive) {
    EXPECT_EQ(logLevelFromRawValue("warning"), LogLevel::warning);
    EXPECT_EQ(logLevelFromRawValue("WARNING"), std::nullopt);
    EXPECT_EQ(logLevelFromRawValue("warn"), std::nullopt);
    EXPECT_EQ(logLevelFromRawValue(" info"), std::nullopt);
    EXPECT_EQ(logLevelFromRawValue(""), std::nullopt);
}

TEST(LogLevel, FreeTextIsLowerCasedBeforeMatching) {
    EXPECT_EQ(logLevelFromText("WARNING"), LogLevel::warning);
    EXPECT_EQ(logLevelFromText("Info"), LogLevel::info);
    EXPECT_EQ(logLevelFromText("critical"), LogLevel::critical);
    EXPECT_EQ(logLevelFromText("CRITICALS"), std::nullopt);
    EXPECT_EQ(logLevelFromText("verbose"), std::nullopt);
    EXPECT_EQ(logLevelFromText(""), std::nullopt);
}

}  // namespace
}  // namespace lumenary::logging
