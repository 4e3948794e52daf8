// The vision category in the real program over standard input and output,
// switched on by the user's defaults, with its analyses in the real worker.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <ZXing/BarcodeFormat.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/host/program_test_support.hpp"
#include "mcp/core/json.hpp"
#include "platform/process/process_launcher.hpp"
#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/plain_ground_text.hpp"
#include "platform/vision/worker/recognition_language_packs.hpp"
#include "platform/vision/worker/test_images.hpp"
#include "platform/vision/worker/text_photos.hpp"
#include "support/child_process.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary {
namespace {

class VisionProgramTest : public ::testing::Test {
protected:
    VisionProgramTest() {
        ::setenv("LUMENARY_CONFIG_DIR", folder.path().c_str(), 1);
        std::ofstream(folder.path() / "defaults.json")
            << R"({"mcp_server_port":)" << testing::freePort() << R"(,"isVisionEnabled":true})";
    }
    ~VisionProgramTest() override { ::unsetenv("LUMENARY_CONFIG_DIR"); }

    std::string errors() const {
        std::ifstream file(folder.path() / "vision.err");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    lumenary::testing::TemporaryDirectory folder;
};

TEST_F(VisionProgramTest, ListsTheNineToolsAndReadsAQrCode) {
    const auto code = vision_test::writtenImage(
        folder.path() / "code.png", vision_test::drawnBarcode(ZXing::BarcodeFormat::QRCode, "https://example.org/q"));
    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "vision.err").string());
    program.writeLine(std::string(testing::initializeRequest));
    ASSERT_TRUE(program.readLine()) << errors();

    program.writeLine(R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})");
    const auto listed = program.readLine();
    ASSERT_TRUE(listed) << errors();
    const auto list = mcp::parseJSON(*listed);
    ASSERT_TRUE(list.find("result")) << *listed;
    int visionTools = 0;
    for (const auto& tool : *list.find("result")->find("tools")->arrayValue()) {
        visionTools += tool.find("name")->stringValue()->starts_with("vision_") ? 1 : 0;
    }
    EXPECT_EQ(visionTools, 9);

    const auto answer = testing::toolCallText(program, 3, "vision_detect_barcodes",
                                              R"({"image_path":")" + code + R"("})", std::chrono::seconds(30));
    const auto result = mcp::parseJSON(answer);
    ASSERT_EQ(result.find("count")->intValue(), 1) << answer << errors();
    const auto& barcode = result.find("barcodes")->arrayValue()->front();
    EXPECT_EQ(*barcode.find("payload")->stringValue(), "https://example.org/q") << answer;

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0);
    EXPECT_EQ(program.readAll(), "") << "standard output carries only MCP messages";
}

// The glyphs of a UTF-8 text, one string each.
std::vector<std::string> glyphsOf(const std::string& text) {
    std::vector<std::string> glyphs;
    for (const char byte : text) {
        if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80 || glyphs.empty()) {
            glyphs.emplace_back();
        }
        glyphs.back() += byte;
    }
    return glyphs;
}

TEST_F(VisionProgramTest, ReadsAChineseLineWithItsDigitsAndFullWidthMarks) {
    // A line picked for the larger model beside Debian's; Debian's alone is
    // measured elsewhere.
    const auto largerModel = platform::vision::fetchedLanguagePackFolder() / "chi_sim_large.traineddata";
    if (!std::filesystem::is_regular_file(largerModel)) {
        GTEST_SKIP() << "the larger Chinese text model " << largerModel << " is missing; run scripts/setup to fetch it";
    }
    const std::string line = "总计：共3件，合计99.50元";
    const auto image = vision_test::writtenImage(
        folder.path() / "line.png", vision_test::renderedText({line}, vision_test::notoSansSimplifiedChinese(), 32));
    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "vision.err").string());
    program.writeLine(std::string(testing::initializeRequest));
    ASSERT_TRUE(program.readLine()) << errors();

    const auto answer =
        testing::toolCallText(program, 2, "vision_recognize_text",
                              R"({"image_path":")" + image + R"(","languages":["zh-Hans"]})", std::chrono::seconds(60));
    const auto result = mcp::parseJSON(answer);
    ASSERT_TRUE(result.find("full_text")) << answer << errors();
    // One glyph may read otherwise: the recogniser's arithmetic differs a
    // little with the processor's vector instructions.
    const auto expected = glyphsOf(line);
    const auto read = glyphsOf(*result.find("full_text")->stringValue());
    ASSERT_EQ(read.size(), expected.size()) << answer;
    int differing = 0;
    for (std::size_t index = 0; index < read.size(); ++index) {
        differing += read[index] == expected[index] ? 0 : 1;
    }
    EXPECT_LE(differing, 1) << answer;

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0);
}

// One line of a screenshot cut close to its text, as a person crops it to
// ask what it says, in grey, at the default level.
TEST_F(VisionProgramTest, ReadsEveryWordOfALineCutCloseToItsText) {
    const std::string text = "you can get when using this warning is:";
    const cv::Mat ink =
        vision_test::textCutToInk(text, {"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", 0}, 22);
    // A quarter of the text's height above and below, less at the ends.
    cv::Mat framed;
    cv::copyMakeBorder(ink, framed, ink.rows / 4, ink.rows / 4, 3, 3, cv::BORDER_CONSTANT, cv::Scalar::all(255));
    cv::Mat grey;
    cv::cvtColor(framed, grey, cv::COLOR_RGB2GRAY);
    const std::string image = (folder.path() / "line.png").string();
    ASSERT_TRUE(cv::imwrite(image, grey));
    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "vision.err").string());
    program.writeLine(std::string(testing::initializeRequest));
    ASSERT_TRUE(program.readLine()) << errors();

    const auto answer = testing::toolCallText(program, 2, "vision_recognize_text", R"({"image_path":")" + image + R"("})",
                                              std::chrono::seconds(60));
    const auto result = mcp::parseJSON(answer);
    ASSERT_TRUE(result.find("full_text")) << answer << errors();
    EXPECT_EQ(vision_test::wordsOf(*result.find("full_text")->stringValue()), vision_test::wordsOf(text)) << answer;

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0);
}

TEST_F(VisionProgramTest, ReadsEveryWordOfASignOnAStreetPhoto) {
    // A street with a truck and a bicycle, the sign turned a few degrees,
    // leaned, and set among scattered lines, boxes and discs.
    const cv::Mat street = cv::imread("/usr/share/darknet/data/dog.jpg", cv::IMREAD_COLOR);
    ASSERT_FALSE(street.empty()) << "/usr/share/darknet/data/dog.jpg is missing: install darknet (scripts/setup does)";
    cv::Mat rgb;
    cv::cvtColor(street, rgb, cv::COLOR_BGR2RGB);
    const vision_test::SignDesign sign{{"ONE WAY", "Harbour Road 300 m"},
                                       {"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", 0},
                                       28,
                                       {250, 250, 250},
                                       {25, 60, 160},
                                       -4,
                                       0.1,
                                       {0.68, 0.22},
                                       true};
    const auto image = vision_test::writtenImage(folder.path() / "street.png", vision_test::photoWithSign(rgb, sign, 3));
    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "vision.err").string());
    program.writeLine(std::string(testing::initializeRequest));
    ASSERT_TRUE(program.readLine()) << errors();

    const auto answer = testing::toolCallText(program, 2, "vision_recognize_text",
                                              R"({"image_path":")" + image + R"(","recognition_level":"accurate"})",
                                              std::chrono::seconds(60));
    const auto result = mcp::parseJSON(answer);
    ASSERT_TRUE(result.find("full_text")) << answer << errors();
    const auto expected = vision_test::wordsOf("ONE WAY Harbour Road 300 m");
    const auto read = vision_test::wordsOf(*result.find("full_text")->stringValue());
    EXPECT_EQ(vision_test::wordsInCommon(expected, read), static_cast<int>(expected.size())) << answer;

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0);
}

// A clip whose width is no multiple of the frame converter's block of
// pixels, after an analysis that leaves the worker's memory as a user's
// first call does, and with frames enough that the converter's buffers land
// everywhere the allocator puts them: each frame is answered, and the
// worker that made that first analysis still runs.
TEST_F(VisionProgramTest, AnalysesEveryFrameOfAnOddlySizedClipInTheSameWorker) {
    const std::filesystem::path photo512 = "/usr/lib/python3/dist-packages/skimage/data/astronaut.png";
    const std::filesystem::path cat = "/usr/lib/python3/dist-packages/skimage/data/chelsea.png";
    if (!std::filesystem::exists(photo512) || !std::filesystem::exists(cat)) {
        GTEST_SKIP() << "Needs " << photo512 << " and " << cat << " (python3-skimage's sample data)";
    }
    const auto clip = (folder.path() / "cat.mp4").string();
    const auto written = platform::ProcessLauncher().run(
        {.executable = "ffmpeg",
         .arguments = {"-v", "error", "-nostdin", "-loop", "1", "-i", cat.string(), "-t", "2", "-vf", "scale=492:356",
                       "-pix_fmt", "yuv420p", "-c:v", "mpeg4", clip},
         .standardInput = std::nullopt,
         .standardOutputLimit = 0,
         .standardErrorLimit = 4096,
         .deadline = std::chrono::seconds(60)});
    ASSERT_TRUE(written && written.value().exit && written.value().exit->exitStatus == 0) << "ffmpeg wrote no clip";
    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "vision.err").string());
    program.writeLine(std::string(testing::initializeRequest));
    ASSERT_TRUE(program.readLine()) << errors();

    const auto animals = testing::toolCallText(program, 2, "vision_recognize_animals",
                                               R"({"image_path":")" + photo512.string() + R"("})",
                                               std::chrono::seconds(60));
    ASSERT_FALSE(animals.starts_with("Error") || animals == "no answer") << animals << errors();
    const auto workers = testing::runningChildren(program.pid(), "lumenary-vision");
    ASSERT_EQ(workers.size(), 1u);

    const auto answer = testing::toolCallText(
        program, 3, "vision_analyze_video",
        R"({"video_path":")" + clip + R"(","features":["faces","animals","text"],"sample_interval":0.1})",
        std::chrono::seconds(120));
    const auto result = mcp::parseJSON(answer.starts_with("{") ? answer : "{}");
    ASSERT_TRUE(result.find("frames_analyzed")) << answer << errors();
    EXPECT_EQ(result.find("frames_analyzed")->intValue(), 20) << answer << errors();
    for (const auto& frame : *result.find("results")->arrayValue()) {
        EXPECT_TRUE(frame.find("faces") && frame.find("animals") && frame.find("text")) << mcp::writeJSON(frame);
    }
    // The frames are shared out to more workers, the first among them.
    const auto after = testing::runningChildren(program.pid(), "lumenary-vision");
    EXPECT_NE(std::find(after.begin(), after.end(), workers.front()), after.end()) << errors();

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0);
}

}  // namespace
}  // namespace lumenary
