#include "logging/no_op_log_handler.hpp"

#include <gtest/gtest.h>

#include "logging/logger.hpp"

namespace lumenary::logging {
namespace {

TEST(NoOpLogHandler, StaysAtCriticalAndDiscardsEveryWrite) {
    NoOpLogHandler handler;
    handler.setLogLevel(LogLevel::trace);
    handler.setMetadataValue("k", MetadataValue("v"));
    handler.setMetadata({{"k", "v"}});
    handler.setMetadataProvider(MetadataProvider([] { return Metadata{{"p", "1"}}; }));

    EXPECT_EQ(handler.logLevel(), LogLevel::critical);
    EXPECT_EQ(handler.metadataValue("k"), std::nullopt);
    EXPECT_TRUE(handler.metadata().empty());
    EXPECT_FALSE(handler.metadataProvider().has_value());
}

TEST(NoOpLogHandler, LoggerOverItReportsCriticalAndBuildsNothingBelowIt) {
    Logger logger("mcp.transport.stdio", NoOpLogHandler());
    logger.setLogLevel(LogLevel::trace);
    EXPECT_EQ(logger.logLevel(), LogLevel::critical);

    int built = 0;
    auto message = [&] {
        ++built;
        return "m";
    };
    logger.trace(message);
    logger.error(message);
    EXPECT_EQ(built, 0);
    logger.critical(message);
    EXPECT_EQ(built, 1);
}

}  // namespace
}  // namespace lumenary::logging
