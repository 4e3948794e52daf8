#include "platform/vision/vision_frame_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/vision/vision_worker_protocol.hpp"

namespace lumenary::platform::vision {
namespace {

struct FramesRead {
    std::vector<std::string> payloads;
    // What the last feed gave after the last frame: incomplete or an error.
    VisionFrameResult last;
};

// Feeds `pieces` in order, reading every frame each piece completes (the
// ones after the first by feeding nothing, as the worker's channel does).
FramesRead readFrames(VisionFrameReader& reader, const std::vector<std::string>& pieces) {
    FramesRead read;
    for (const auto& piece : pieces) {
        read.last = reader.feed(piece);
        while (auto* payload = std::get_if<VisionFramePayload>(&read.last)) {
            read.payloads.push_back(payload->bytes);
            read.last = reader.feed({});
        }
    }
    return read;
}

const VisionFrameResult frameIncomplete = VisionFrameIncomplete{};
const VisionFrameResult lengthLineNeverEnded = VisionFrameError{"a length line that never ended"};
const VisionFrameResult lengthLineBad = VisionFrameError{"a bad length line"};

TEST(VisionFrameReader, ReadsFramesAndRefusesWhatIsNoFrame) {
    struct Case {
        std::string name;
        std::vector<std::string> pieces;
        std::vector<std::string> payloads;
        VisionFrameResult last;
        // Payload bytes the reader still waits for at the end.
        std::size_t awaited = 0;
    };
    const std::string longestLength = std::string(maximumVisionFrameHeaderLength - 1, '0') + "3";
    const std::vector<Case> cases = {
        {"one frame", {"3\nabc"}, {"abc"}, frameIncomplete},
        {"an empty payload", {"0\n"}, {""}, frameIncomplete},
        {"a payload holding newlines and digits", {"4\n1\n2\n"}, {"1\n2\n"}, frameIncomplete},
        {"two frames in one piece", {"3\nabc2\nde"}, {"abc", "de"}, frameIncomplete},
        {"a payload not yet whole", {"5\nab"}, {}, frameIncomplete, 3},
        {"a length line not yet ended", {"12"}, {}, frameIncomplete},
        {"a frame then the start of the next", {"1\na4\nxy"}, {"a"}, frameIncomplete, 2},
        {"the longest length line", {longestLength + "\nabc"}, {"abc"}, frameIncomplete},
        {"the largest payload announced", {std::to_string(maximumVisionFrameLength) + "\n"}, {}, frameIncomplete,
         maximumVisionFrameLength},
        {"a length line one byte too long, unended", {longestLength + "0"}, {}, lengthLineNeverEnded},
        {"a length line one byte too long, ended", {"0" + longestLength + "\nabc"}, {}, lengthLineNeverEnded},
        {"a length line that is a word", {"twelve\n"}, {}, lengthLineBad},
        {"an empty length line", {"\nabc"}, {}, lengthLineBad},
        {"a negative length", {"-1\n"}, {}, lengthLineBad},
        {"a length with a space", {" 3\nabc"}, {}, lengthLineBad},
        {"a length over the limit", {std::to_string(maximumVisionFrameLength + 1) + "\n"}, {}, lengthLineBad},
        {"a good frame then a bad one", {"3\nabcx\n"}, {"abc"}, lengthLineBad},
        {"a frame after an error", {"x\n", "3\nabc"}, {}, lengthLineBad},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VisionFrameReader reader;
        const auto read = readFrames(reader, c.pieces);
        EXPECT_EQ(read.payloads, c.payloads);
        EXPECT_EQ(read.last, c.last);
        EXPECT_EQ(reader.payloadBytesAwaited(), c.awaited);
    }
}

TEST(VisionFrameReader, ReadsTheSameWhereverTheBytesAreSplit) {
    struct Stream {
        std::string bytes;
        std::vector<std::string> payloads;
        VisionFrameResult last;
    };
    const std::vector<Stream> streams = {
        {visionFrame(R"({"analysis":"barcodes"})") + visionFrame("") + visionFrame("7\n"),
         {R"({"analysis":"barcodes"})", "", "7\n"},
         frameIncomplete},
        {visionFrame("ok") + "123456789012345678901", {"ok"}, lengthLineNeverEnded},
        {visionFrame("ok") + "1x\n", {"ok"}, lengthLineBad},
    };
    for (const auto& stream : streams) {
        const std::string& bytes = stream.bytes;
        for (std::size_t first = 0; first <= bytes.size(); ++first) {
            for (std::size_t second = first; second <= bytes.size(); ++second) {
                SCOPED_TRACE(bytes + " split at " + std::to_string(first) + " and " + std::to_string(second));
                VisionFrameReader reader;
                const auto read = readFrames(
                    reader, {bytes.substr(0, first), bytes.substr(first, second - first), bytes.substr(second)});
                EXPECT_EQ(read.payloads, stream.payloads);
                EXPECT_EQ(read.last, stream.last);
            }
        }
        std::vector<std::string> singleBytes;
        for (const char byte : bytes) {
            singleBytes.emplace_back(1, byte);
        }
        VisionFrameReader reader;
        const auto read = readFrames(reader, singleBytes);
        EXPECT_EQ(read.payloads, stream.payloads);
        EXPECT_EQ(read.last, stream.last);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
