#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mcp/transports/network_framer.hpp"

namespace lumenary::mcp {
namespace {

using Frame = NetworkFramer::Frame;

std::string heartbeatBytes(std::uint64_t milliseconds) {
    return NetworkHeartbeat(NetworkHeartbeat::Timestamp(static_cast<double>(milliseconds) / 1000.0)).data();
}

NetworkHeartbeat heartbeatOf(std::uint64_t milliseconds) {
    return *NetworkHeartbeat::from(heartbeatBytes(milliseconds));
}

std::vector<Frame> framesOf(const std::vector<std::string>& reads, std::size_t limit = 1024) {
    NetworkFramer framer(limit);
    std::vector<Frame> frames;
    for (const auto& read : reads) {
        framer.feed(read, frames);
    }
    return frames;
}

struct StreamCase {
    const char* name;
    std::string stream;
    std::vector<Frame> expected;
};

// 0x0A0A... in the count: a heartbeat that a newline split would tear apart.
constexpr std::uint64_t countFullOfNewlines = 0x0A0A0A0A0A0A;

std::vector<StreamCase> streamCases() {
    return {
        {"two messages", "{\"a\":1}\n{\"b\":2}\n", {std::string("{\"a\":1}"), std::string("{\"b\":2}")}},
        {"heartbeat before a message", heartbeatBytes(1500) + "{}\n", {heartbeatOf(1500), std::string("{}")}},
        {"heartbeat between messages",
         "[1]\n" + heartbeatBytes(7) + "[2]\n",
         {std::string("[1]"), heartbeatOf(7), std::string("[2]")}},
        {"heartbeat after a message", "[1]\n" + heartbeatBytes(9), {std::string("[1]"), heartbeatOf(9)}},
        {"heartbeats back to back",
         heartbeatBytes(1) + heartbeatBytes(2) + "[3]\n",
         {heartbeatOf(1), heartbeatOf(2), std::string("[3]")}},
        {"heartbeat whose count holds 0x0A bytes",
         heartbeatBytes(countFullOfNewlines) + "{}\n",
         {heartbeatOf(countFullOfNewlines), std::string("{}")}},
        {"0x0D stays in the message", "{}\r\n", {std::string("{}\r")}},
        {"empty lines are dropped", "\n\n{}\n\n", {std::string("{}")}},
        {"the magic inside a message is text", "{\"s\":\"\xF0\x9F\x92\x93\"}\n",
         {std::string("{\"s\":\"\xF0\x9F\x92\x93\"}")}},
        {"bytes of the magic that are not one begin a message", "\xF0\x9F{}\n", {std::string("\xF0\x9F{}")}},
        {"a message without its 0x0A waits", "{}\n[1", {std::string("{}")}},
    };
}

TEST(NetworkFramerTest, FramesEveryStreamAlikeWhereverTheReadsSplitIt) {
    for (const auto& testCase : streamCases()) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(framesOf({testCase.stream}), testCase.expected);
        for (std::size_t first = 0; first <= testCase.stream.size(); ++first) {
            for (std::size_t second = first; second <= testCase.stream.size(); ++second) {
                const std::vector<std::string> reads{testCase.stream.substr(0, first),
                                                     testCase.stream.substr(first, second - first),
                                                     testCase.stream.substr(second)};
                ASSERT_EQ(framesOf(reads), testCase.expected) << "split at " << first << " and " << second;
            }
        }
        std::vector<std::string> bytes;
        for (char byte : testCase.stream) {
            bytes.emplace_back(1, byte);
        }
        EXPECT_EQ(framesOf(bytes), testCase.expected) << "byte by byte";
    }
}

TEST(NetworkFramerTest, HoldsTheUnfinishedLineAndAHeartbeatPrefix) {
    NetworkFramer framer;
    std::vector<Frame> frames;
    framer.feed("{\"partial\"", frames);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(framer.pendingBytes(), 10u);

    NetworkFramer atStart;
    atStart.feed(heartbeatBytes(5).substr(0, 6), frames);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(atStart.pendingBytes(), 6u);
}

struct LimitCase {
    const char* name;
    std::size_t lineLength;
    bool discarded;
};

TEST(NetworkFramerTest, ALineLongerThanTheLimitIsDiscardedUpToItsNewline) {
    constexpr std::size_t limit = 8;
    for (const auto& testCase : {LimitCase{"at the limit", limit, false}, LimitCase{"one past", limit + 1, true},
                                 LimitCase{"far past", limit * 10, true}}) {
        SCOPED_TRACE(testCase.name);
        const std::string line(testCase.lineLength, 'x');
        const auto frames = framesOf({line.substr(0, 3), line.substr(3) + "\n{}\n"}, limit);
        ASSERT_EQ(frames.size(), 2u);
        if (testCase.discarded) {
            EXPECT_TRUE(std::holds_alternative<NetworkFramer::DiscardedLine>(frames[0]));
        } else {
            EXPECT_EQ(frames[0], Frame(line));
        }
        EXPECT_EQ(frames[1], Frame(std::string("{}")));
    }
}

TEST(NetworkFramerTest, ADiscardedLineIsReportedAlikeWhereverTheReadsSplitIt) {
    constexpr std::size_t limit = 8;
    const std::string stream = "0123456789abc\n{}\n";
    const std::vector<Frame> expected{NetworkFramer::DiscardedLine{limit + 1}, std::string("{}")};
    EXPECT_EQ(framesOf({stream}, limit), expected) << "whole";
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        EXPECT_EQ(framesOf({stream.substr(0, split), stream.substr(split)}, limit), expected) << "split at " << split;
    }
    std::vector<std::string> bytes;
    for (char byte : stream) bytes.emplace_back(1, byte);
    EXPECT_EQ(framesOf(bytes, limit), expected) << "byte by byte";
}

TEST(NetworkFramerTest, AFortyMebibyteLineIsDiscardedOnceAndTheNextLineSurvives) {
    NetworkFramer framer;
    std::vector<Frame> frames;
    const std::string chunk(64 * 1024, 'x');
    for (int index = 0; index < 40 * 16; ++index) {
        framer.feed(chunk, frames);
    }
    EXPECT_LE(framer.pendingBytes(), NetworkFramer::defaultMaximumLineLength);
    framer.feed("\n{\"after\":true}\n", frames);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(std::holds_alternative<NetworkFramer::DiscardedLine>(frames[0]));
    EXPECT_EQ(frames[1], Frame(std::string("{\"after\":true}")));
    EXPECT_EQ(framer.pendingBytes(), 0u);
}

TEST(NetworkFramerTest, AnOutgoingMessageGetsExactlyOneNewlineAndIsNotLookedInto) {
    for (const std::string message : {"{}", "{}\n", ""}) {
        std::string wire;
        NetworkFramer::appendMessage(wire, message);
        EXPECT_EQ(wire, message + "\n");
    }
}

}  // namespace
}  // namespace lumenary::mcp
