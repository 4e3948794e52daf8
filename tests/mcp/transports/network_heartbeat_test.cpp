#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "mcp/transports/network_heartbeat.hpp"

namespace lumenary::mcp {
namespace {

using Bytes = std::vector<unsigned char>;

NetworkHeartbeat at(double seconds) {
    return NetworkHeartbeat(NetworkHeartbeat::Timestamp(seconds));
}

Bytes raw(const NetworkHeartbeat& heartbeat) {
    const auto bytes = heartbeat.rawValue();
    return Bytes(bytes.begin(), bytes.end());
}

Bytes recordWithCount(std::uint64_t count) {
    Bytes bytes{0xF0, 0x9F, 0x92, 0x93};
    for (int index = 0; index < 8; ++index) {
        bytes.push_back(static_cast<unsigned char>(count >> (8 * index)));
    }
    return bytes;
}

TEST(NetworkHeartbeatTest, EncodesMillisecondsSinceTheReferenceDateLittleEndianAfterTheMagic) {
    EXPECT_EQ(raw(at(1.5)), (Bytes{0xF0, 0x9F, 0x92, 0x93, 0xDC, 0x05, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(at(1.5).data(), std::string("\xF0\x9F\x92\x93\xDC\x05\0\0\0\0\0\0", 12));
}

struct CountCase {
    const char* name;
    double seconds;
    std::uint64_t milliseconds;
};

TEST(NetworkHeartbeatTest, CountsWholeMillisecondsAndSettlesTimesItCannotRepresent) {
    const std::vector<CountCase> cases{
        {"under a millisecond", 0.0009, 0},
        {"a parsed 1001 falls just below itself", 1.001, 1000},
        {"before the reference date", -5.0, 0},
        {"not a number", std::nan(""), 0},
        {"past the 64-bit range", 1e30, std::numeric_limits<std::uint64_t>::max()},
        {"infinity", std::numeric_limits<double>::infinity(), std::numeric_limits<std::uint64_t>::max()},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(at(testCase.seconds).milliseconds(), testCase.milliseconds);
    }
}

TEST(NetworkHeartbeatTest, ParsesTheFirstTwelveBytesOfARecordAndNothingElse) {
    auto longer = recordWithCount(1001);
    longer.push_back(0x0A);
    auto wrongMagic = recordWithCount(1001);
    wrongMagic[0] = 0xF1;
    auto shortRecord = recordWithCount(1001);
    shortRecord.pop_back();

    const auto parsed = NetworkHeartbeat::fromRawValue(recordWithCount(1001));
    ASSERT_TRUE(parsed);
    EXPECT_DOUBLE_EQ(parsed->timestamp().count(), 1.001);
    EXPECT_EQ(parsed->milliseconds(), 1000u);
    EXPECT_TRUE(NetworkHeartbeat::fromRawValue(longer));
    EXPECT_FALSE(NetworkHeartbeat::fromRawValue(wrongMagic));
    EXPECT_FALSE(NetworkHeartbeat::fromRawValue(shortRecord));
    EXPECT_EQ(NetworkHeartbeat::fromRawValue(recordWithCount(0))->timestamp().count(), 0.0);
}

TEST(NetworkHeartbeatTest, RecognisesTheMagicAloneButParsesOnlyAWholeRecord) {
    const std::string magic("\xF0\x9F\x92\x93");
    EXPECT_TRUE(NetworkHeartbeat::isHeartbeat(magic));
    EXPECT_TRUE(NetworkHeartbeat::isHeartbeat(magic + "more"));
    EXPECT_FALSE(NetworkHeartbeat::isHeartbeat(magic.substr(0, 3)));
    EXPECT_FALSE(NetworkHeartbeat::isHeartbeat("{}\n\n"));
    EXPECT_FALSE(NetworkHeartbeat::from(magic));
}

TEST(NetworkHeartbeatTest, HeartbeatsWithinOneMillisecondAreEqualAndHashAlike) {
    const auto first = at(12.0001);
    const auto second = at(12.0005);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.hash(), second.hash());
    EXPECT_NE(first, at(12.0011));
}

TEST(NetworkHeartbeatTest, ShowsItsTimeAsAUTCDate) {
    EXPECT_EQ(at(1.5).dateText(), "2001-01-01 00:00:01 +0000");
    EXPECT_EQ(at(86400.0 * 366).dateText(), "2002-01-02 00:00:00 +0000");
}

TEST(NetworkHeartbeatTest, NowIsAfterTheReferenceDate) {
    EXPECT_GT(NetworkHeartbeat::now().timestamp().count(), 7e8);
}

}  // namespace
}  // namespace lumenary::mcp
