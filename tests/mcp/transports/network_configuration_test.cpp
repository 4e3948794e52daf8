#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "mcp/core/mcp_error.hpp"
#include "mcp/transports/network_configuration.hpp"

namespace lumenary::mcp {
namespace {

struct BackoffCase {
    const char* name;
    double multiplier;
    std::int64_t attempt;
    double seconds;
};

TEST(NetworkConfigurationTest, BackoffGrowsByTheMultiplierAndStaysWithinHalfASecondAndThirtySeconds) {
    const double nan = std::nan("");
    const std::vector<BackoffCase> cases{
        {"first", 1.5, 1, 0.5},
        {"second", 1.5, 2, 0.75},
        {"third", 1.5, 3, 1.125},
        {"fourth", 1.5, 4, 1.6875},
        {"fifth", 1.5, 5, 2.53125},
        {"multiplier one", 1.0, 4, 0.5},
        {"first with any multiplier", 100.0, 1, 0.5},
        {"grows past thirty seconds", 2.0, 60, 30.0},
        {"overflows to infinity", 10.0, 400, 30.0},
        {"shrinking multiplier", 0.1, 3, 0.5},
        {"negative multiplier", -3.0, 2, 0.5},
        {"not a number", nan, 2, 0.5},
        {"attempt zero", 1.5, 0, 0.5},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const NetworkReconnectionConfiguration configuration(true, 5, testCase.multiplier);
        EXPECT_DOUBLE_EQ(configuration.backoffDelay(testCase.attempt), testCase.seconds);
        EXPECT_EQ(configuration.backoffDuration(testCase.attempt),
                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                      std::chrono::duration<double>(testCase.seconds)));
    }
}

TEST(NetworkConfigurationTest, RefusesAHeartbeatIntervalThatIsNotAFinitePositiveNumber) {
    for (double interval : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(interval);
        EXPECT_THROW(NetworkHeartbeatConfiguration(true, interval), MCPError);
        EXPECT_THROW(NetworkHeartbeatConfiguration(false, interval), MCPError);
    }
    EXPECT_EQ(NetworkHeartbeatConfiguration(true, 0.25).intervalDuration(), std::chrono::milliseconds(250));
    EXPECT_EQ(NetworkHeartbeatConfiguration(true, 1e300).intervalDuration(), std::chrono::hours(24 * 365));
}

TEST(NetworkConfigurationTest, RefusesAReceiveBufferBelowOneByteAndReadsAtMostSixtyFourKibibytes) {
    EXPECT_THROW(NetworkBufferConfiguration(0), MCPError);
    EXPECT_THROW(NetworkBufferConfiguration(-5), MCPError);
    EXPECT_EQ(NetworkBufferConfiguration(1).readBufferSize(), 1u);
    EXPECT_EQ(NetworkBufferConfiguration(100).readBufferSize(), 100u);
    EXPECT_EQ(NetworkBufferConfiguration::defaultConfiguration.readBufferSize(), 64u * 1024);
    EXPECT_EQ(NetworkBufferConfiguration::unlimited.readBufferSize(), 64u * 1024);
    EXPECT_EQ(NetworkBufferConfiguration(std::numeric_limits<std::int64_t>::max()).readBufferSize(), 64u * 1024);
}

TEST(NetworkConfigurationTest, PresetsCompareAndHashByTheirFields) {
    EXPECT_EQ(NetworkBufferConfiguration::defaultConfiguration, NetworkBufferConfiguration(10'485'760));
    EXPECT_NE(NetworkBufferConfiguration::unlimited, NetworkBufferConfiguration::defaultConfiguration);
    EXPECT_NE(NetworkBufferConfiguration::unlimited.hash(), NetworkBufferConfiguration(0x7FFF).hash());
    EXPECT_EQ(NetworkReconnectionConfiguration::defaultConfiguration, NetworkReconnectionConfiguration(true, 5, 1.5));
    EXPECT_NE(NetworkReconnectionConfiguration::disabled, NetworkReconnectionConfiguration::defaultConfiguration);
    EXPECT_EQ(NetworkReconnectionConfiguration::disabled.hash(), NetworkReconnectionConfiguration(false, 5, 1.5).hash());
    EXPECT_EQ(NetworkHeartbeatConfiguration::defaultConfiguration, NetworkHeartbeatConfiguration(true, 15.0));
    EXPECT_EQ(NetworkHeartbeatConfiguration::disabled, NetworkHeartbeatConfiguration(false, 15.0));
    EXPECT_NE(NetworkHeartbeatConfiguration::disabled.hash(), NetworkHeartbeatConfiguration::defaultConfiguration.hash());
}

}  // namespace
}  // namespace lumenary::mcp
