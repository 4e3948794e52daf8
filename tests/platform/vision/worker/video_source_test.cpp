#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/test_videos.hpp"
#include "platform/vision/worker/video_source.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform::vision {
namespace {

using vision_test::VideoRecipe;

// A loopback port that listens and never accepts: a connection attempt
// stays queued on it, where the test can see it.
class ListeningPort {
public:
    ListeningPort() {
        socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(socket_, 4) != 0 || ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on the loopback interface");
        }
        port_ = ntohs(address.sin_port);
    }
    ~ListeningPort() { ::close(socket_); }
    ListeningPort(const ListeningPort&) = delete;
    ListeningPort& operator=(const ListeningPort&) = delete;

    int port() const { return port_; }
    bool wasConnected() const {
        const int connection = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            return false;
        }
        ::close(connection);
        return true;
    }

private:
    int socket_ = -1;
    int port_ = 0;
};

class VideoSourceTest : public ::testing::Test {
protected:
    lumenary::testing::TemporaryDirectory folder_;
};

TEST_F(VideoSourceTest, EveryFrameIsTheLastOneShownAtOrBeforeItsTimeWhateverOrderTheTimesComeIn) {
    struct Case {
        std::string name;
        VideoRecipe recipe;
    };
    VideoRecipe bFramesInMatroska;
    bFramesInMatroska.container = "matroska";
    bFramesInMatroska.bFrames = 2;
    // An MP4 index holds decoding times, which B-frames put before
    // presentation times.
    VideoRecipe bFramesInMp4;
    bFramesInMp4.bFrames = 2;
    const std::vector<Case> cases = {
        {"mpeg4.mp4", VideoRecipe{}}, {"b-frames.mkv", bFramesInMatroska}, {"b-frames.mp4", bFramesInMp4}};
    // Forward inside a group of pictures, across key frames, backwards, at
    // and just before frame boundaries, twice the same, to the last frame.
    const std::vector<double> times = {0.0,         0.0,         10 / 30.0,        11 / 30.0 - 2e-3, 1.0,
                                       47 / 30.0,   48 / 30.0,   49.5 / 30.0,      95 / 30.0,        0.5,
                                       20 / 30.0,   96 / 30.0,   119 / 30.0 + 0.02, 30 / 30.0,       4.0 - 1e-3};
    for (const auto& [name, recipe] : cases) {
        SCOPED_TRACE(name);
        auto source = VideoSource::open(vision_test::writtenVideo(folder_.path() / name, recipe));
        ASSERT_TRUE(source) << source.error().description;
        EXPECT_NEAR(source.value().durationSeconds(), 4.0, 1e-9);
        for (const double time : times) {
            SCOPED_TRACE(time);
            const auto frame = source.value().frameAt(time);
            ASSERT_TRUE(frame) << frame.error().description;
            ASSERT_TRUE(frame.value());
            const int expected = static_cast<int>(std::floor(time * 30 + 1e-9));
            EXPECT_EQ(vision_test::frameIndexShown(frame.value()->rgb), expected);
            // Matroska counts in milliseconds.
            EXPECT_NEAR(frame.value()->timestamp, expected / 30.0, 5e-4);
            EXPECT_EQ(frame.value()->rgb.size(), recipe.size);
        }
    }
}

TEST_F(VideoSourceTest, TheStreamEndsWhenTheLastFrameHasBeenShownForItsDuration) {
    VideoRecipe recipe;
    recipe.frameCount = 30;
    auto source = VideoSource::open(vision_test::writtenVideo(folder_.path() / "short.mp4", recipe));
    ASSERT_TRUE(source) << source.error().description;
    for (const double time : {1.0, 1.5, 1e12}) {
        const auto frame = source.value().frameAt(time);
        ASSERT_TRUE(frame) << frame.error().description;
        EXPECT_FALSE(frame.value()) << time;
    }
    const auto last = source.value().frameAt(1.0 - 1e-3);
    ASSERT_TRUE(last && last.value());
    EXPECT_EQ(vision_test::frameIndexShown(last.value()->rgb), 29);
}

TEST_F(VideoSourceTest, FramesAreTurnedAsTheDisplayMatrixSays) {
    VideoRecipe recipe;
    recipe.frameCount = 2;
    recipe.displayRotation = 90;
    auto turned = VideoSource::open(vision_test::writtenVideo(folder_.path() / "turned.mp4", recipe));
    ASSERT_TRUE(turned) << turned.error().description;
    const auto frame = turned.value().frameAt(1 / 30.0);
    ASSERT_TRUE(frame && frame.value());
    EXPECT_EQ(frame.value()->rgb.size(), cv::Size(240, 320));
    EXPECT_EQ(vision_test::frameIndexShown(frame.value()->rgb), 1);
    // The code stands in the top-left part of the picture as encoded; a
    // quarter turn clockwise, as the matrix asks, puts it top right.
    cv::Mat ink;
    cv::cvtColor(frame.value()->rgb, ink, cv::COLOR_RGB2GRAY);
    const cv::Rect inked = cv::boundingRect(ink < 128);
    EXPECT_GT(inked.x, frame.value()->rgb.cols / 3);
    EXPECT_LT(inked.y + inked.height, frame.value()->rgb.rows * 2 / 3);
}

TEST_F(VideoSourceTest, OnlyAVideoInARegularFileIsOpenedAndNothingIsReachedThroughIt) {
    ListeningPort port;
    const std::string address = "tcp://127.0.0.1:" + std::to_string(port.port());
    const auto fifo = (folder_.path() / "pipe.mp4").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto text = vision_test::writtenBytes(folder_.path() / "notes.mp4", "not a video\n");
    const auto playlist = vision_test::writtenBytes(folder_.path() / "list.mp4", "#EXTM3U\n#EXTINF:1,\n" + address + "\n");
    const auto concatenation =
        vision_test::writtenBytes(folder_.path() / "concat.mkv", "ffconcat version 1.0\nfile '" + address + "'\n");
    const auto sound = vision_test::writtenAudioOnlyFile(folder_.path() / "sound.mkv");
    const auto picture = vision_test::writtenImage(folder_.path() / "still.png", vision_test::indexedFrame(0, {160, 120}));
    struct Case {
        std::string path;
        std::int64_t code;
        std::string description;
    };
    const std::vector<Case> cases = {
        {"/no/such.mp4", 404, "Video file not found at path: /no/such.mp4"},
        {address, 404, "Video file not found at path: " + address},
        {folder_.path().string(), 400, "Failed to load video from path: " + folder_.path().string()},
        {fifo, 400, "Failed to load video from path: " + fifo},
        {text, 400, "Failed to load video from path: " + text},
        {playlist, 400, "Failed to load video from path: " + playlist},
        {concatenation, 400, "Failed to load video from path: " + concatenation},
        {picture, 400, "Failed to load video from path: " + picture},
        {sound, 400, "No video track in file: " + sound},
    };
    for (const auto& [path, code, description] : cases) {
        SCOPED_TRACE(path);
        const auto opened = VideoSource::open(path);
        ASSERT_FALSE(opened);
        EXPECT_EQ(opened.error().domain, "VisionService");
        EXPECT_EQ(opened.error().code, code);
        EXPECT_EQ(opened.error().description, description);
    }
    EXPECT_FALSE(port.wasConnected());
}

}  // namespace
}  // namespace lumenary::platform::vision
