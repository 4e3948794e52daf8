#include "platform/vision/worker/text_recognizer.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/plain_ground_text.hpp"
#include "platform/vision/worker/recognition_language_packs.hpp"
#include "platform/vision/worker/screen_text.hpp"
#include "platform/vision/worker/test_images.hpp"
#include "platform/vision/worker/text_line_detector.hpp"
#include "platform/vision/worker/text_photos.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform::vision {
namespace {

using vision_test::FontFace;

std::vector<std::string> readLines(const std::vector<TextObservation>& observations) {
    std::vector<std::string> lines;
    for (const TextObservation& observation : observations) {
        if (observation.topCandidate) {
            lines.push_back(observation.topCandidate->text);
        }
    }
    return lines;
}

struct RenderedTextCase {
    std::string name;
    FontFace font;
    int pixelSize = 0;
    std::vector<std::string> lines;
    std::vector<std::string> languages;
    TextRecognitionLevel level = TextRecognitionLevel::accurate;
};

TEST(TextRecognizerTest, ReadsRenderedLinesExactlyInOrder) {
    const std::vector<RenderedTextCase> cases{
        {"English at 40 px",
         vision_test::dejaVuSans(),
         40,
         {"Invoice 2931 due on 14 March", "Total amount: 1,250.00 EUR"},
         {},
         TextRecognitionLevel::accurate},
        {"dense English at 20 px",
         vision_test::dejaVuSans(),
         20,
         {"The quick brown fox jumps over the lazy dog.", "Pack my box with five dozen liquor jugs!",
          "Sphinx of black quartz, judge my vow."},
         {"en-US"},
         TextRecognitionLevel::accurate},
        {"fast level on a small image",
         vision_test::dejaVuSans(),
         32,
         {"Meeting room B opens at 9:30"},
         {},
         TextRecognitionLevel::fast},
        {"Simplified Chinese",
         vision_test::notoSansSimplifiedChinese(),
         40,
         {"识别图像中的文字内容"},
         {"zh-Hans"},
         TextRecognitionLevel::accurate},
    };
    for (const RenderedTextCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const cv::Mat image = vision_test::renderedText(testCase.lines, testCase.font, testCase.pixelSize);
        const auto observations = recognizeTextLines(image, {testCase.level, testCase.languages});
        ASSERT_TRUE(observations) << observations.error().description;
        EXPECT_EQ(readLines(observations.value()), testCase.lines);
        for (const TextObservation& observation : observations.value()) {
            ASSERT_TRUE(observation.topCandidate);
            EXPECT_GT(observation.topCandidate->confidence, 0.8F);
            EXPECT_LE(observation.topCandidate->confidence, 1.0F);
        }
    }
}

TEST(TextRecognitionAccuracy, ReadsNineInTenChineseLinesInEachFaceAndSize) {
    const std::vector<std::string> lines{
        "今天天气很好",       "识别图像中的文字内容", "我们明天下午三点开会", "请把这份文件发给我",
        "这家餐厅的菜很好吃", "火车站在城市的东边",   "他每天早上跑步半小时", "图书馆周末也开放",
        "会议室在二楼左边",   "欢迎来到北京",
    };
    const std::string fonts = "/usr/share/fonts/opentype/noto/";
    struct Case {
        FontFace font;
        int pixelSize = 0;
    };
    // Simplified Chinese is the third face of each collection.
    const std::vector<Case> cases{
        {{fonts + "NotoSansCJK-Regular.ttc", 2}, 20},
        {{fonts + "NotoSerifCJK-Regular.ttc", 2}, 36},
        {{fonts + "NotoSansCJK-Bold.ttc", 2}, 48},
        {{fonts + "NotoSerifCJK-Bold.ttc", 2}, 72},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.font.path + " at " + std::to_string(testCase.pixelSize) + " px");
        int read = 0;
        std::string misread;
        for (const std::string& line : lines) {
            const cv::Mat image = vision_test::renderedText({line}, testCase.font, testCase.pixelSize);
            const auto observations = recognizeTextLines(image, {TextRecognitionLevel::accurate, {"zh-Hans"}});
            ASSERT_TRUE(observations) << observations.error().description;
            const auto readAs = readLines(observations.value());
            if (readAs == std::vector<std::string>{line}) {
                ++read;
            } else {
                misread += " " + line;
            }
        }
        EXPECT_GE(read, 9) << "misread:" << misread;
    }
}

// Text as people crop and capture it: the accurate level reads every line
// of it, and reads no frame or field as a mark.
TEST(TextRecognitionAccuracy, ReadsLinesCutCloseValuesInFieldsAndFramedSignsWithoutTheirFrames) {
    struct Case {
        std::string name;
        cv::Mat image;
        std::vector<std::string> lines;
        std::vector<std::string> languages;
    };
    const auto faces = vision_test::installedLatinFaces();
    const vision_test::FontFace bold = faces.at(1).second;
    const auto line = vision_test::closelyCroppedLines(bold, 20, 0).front();
    // "Exit status is 0 if ...", whose lone zero the language models read
    // as the letter O.
    const auto loneZero = vision_test::closelyCroppedLines(faces.at(0).second, 28, 0.25).back();
    const auto signs = vision_test::framedSigns();
    const vision_test::FontFace chinese = vision_test::notoSansSimplifiedChinese();
    const std::vector<Case> cases{
        {"a line whose ink reaches every edge", line.image, line.lines, {"en"}},
        {"a lone zero among words", loneZero.image, loneZero.lines, {"en"}},
        {"a sign inside a frame", signs.at(0).image, signs.at(0).lines, {"en"}},
        {"a sign inside a slanting frame on a photo", signs.at(5).image, signs.at(5).lines, {"en"}},
        {"values in fields and spin boxes", vision_test::dialogScreen(7).image,
         {"Level:", "96", "Units:", "100", "Delay:", "5", "Width:", "64", "Border:", "12", "Height:", "96"}, {"en"}},
        {"a Chinese line at 24 px", vision_test::renderedText({"孩子们在操场上踢足球"}, chinese, 24),
         {"孩子们在操场上踢足球"}, {"zh-Hans"}},
        {"capitals cut to their ink", vision_test::textCutToInk("END OF TERMS AND CONDITIONS", faces.at(0).second, 40),
         {"END OF TERMS AND CONDITIONS"}, {"en"}},
        {"small bold capitals cut to their ink", vision_test::textCutToInk("DEFINITIONS", bold, 16), {"DEFINITIONS"},
         {"en"}},
        {"a bar a space before a line's first word", vision_test::codeLines(faces.at(3).second, 20).at(1).image,
         {"| top row"}, {"en"}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto observations = recognizeTextLines(testCase.image, {TextRecognitionLevel::accurate, testCase.languages});
        ASSERT_TRUE(observations) << observations.error().description;
        EXPECT_EQ(readLines(observations.value()), testCase.lines);
    }
}

// A sign framed close on a photo, its frame's corners rounded, and the lone
// digits of grey spin boxes beside their arrows' buttons: the words and the
// digits are read, no frame or button as a mark.
TEST(TextRecognitionAccuracy, ReadsSignsFramedOnPhotosAndLoneDigitsInSpinBoxes) {
    const auto signs = vision_test::framedSignsOnPhotos(nullptr);
    const auto rounded = std::find_if(signs.begin(), signs.end(),
                                      [](const auto& sign) { return sign.lines == std::vector<std::string>{"Toilets"}; });
    if (rounded != signs.end()) {
        const auto read = recognizeTextLines(rounded->image, {TextRecognitionLevel::accurate, {"en"}});
        ASSERT_TRUE(read) << read.error().description;
        EXPECT_EQ(readLines(read.value()), rounded->lines);
    }
    // "Columns:" beside a spin box of 7, "Day:" beside one of 4.
    const auto dialog = vision_test::controlDialog(5);
    const auto read = recognizeTextLines(dialog.image, {TextRecognitionLevel::accurate, {"en"}});
    ASSERT_TRUE(read) << read.error().description;
    const std::vector<std::string> lines = readLines(read.value());
    for (const std::string digit : {"7", "4"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), digit), lines.end()) << digit;
    }
}

// Lines that were misread before the recogniser read a line found alone (or
// in pieces on one row) as a line, at a 36 px line height, with the larger
// Chinese model beside Debian's and the marks full-width (雨 as 十, 踢 as
// 中, ？ as ?, "你明天有空吗？" as three lines).
TEST(TextRecognitionAccuracy, ReadsChineseLinesWithRarerGlyphsDigitsAndMarksExactly) {
    if (!std::filesystem::is_regular_file(fetchedLanguagePackFolder() / "chi_sim_large.traineddata")) {
        GTEST_SKIP() << "the larger Chinese text model is not in " << fetchedLanguagePackFolder()
                     << "; run scripts/setup to fetch it (or set " << fetchedLanguagePacksFolderVariable
                     << " to a folder that holds chi_sim_large.traineddata)";
    }
    const std::string fonts = "/usr/share/fonts/opentype/noto/";
    const FontFace sans{fonts + "NotoSansCJK-Regular.ttc", 2};
    const FontFace serif{fonts + "NotoSerifCJK-Regular.ttc", 2};
    struct Case {
        std::string line;
        FontFace font;
        int pixelSize = 0;
        std::vector<std::string> languages;
    };
    const std::vector<Case> cases{
        {"窗外下着小雨", serif, 24, {"zh-Hans"}},
        {"雨伞放在门口的架子上", serif, 32, {"zh-Hans"}},
        {"孩子们在操场上踢足球", serif, 32, {"zh-Hans"}},
        {"孩子们在操场上踢足球", sans, 32, {"zh-Hans", "en"}},
        {"明天会下雨吗？", serif, 32, {"zh-Hans"}},
        // Lines the layout analysis breaks into pieces on one row.
        {"你明天有空吗？", serif, 32, {"zh-Hans"}},
        {"攀登者终于到达了山顶", sans, 48, {"zh-Hans"}},
        {"总计：共3件，合计99.50元", sans, 32, {"zh-Hans"}},
        {"截止日期：2024年6月30日", serif, 32, {"zh-Hans"}},
        {"窗口编号：A12", serif, 32, {"zh-Hans"}},
    };
    // A margin of two: the recogniser's arithmetic differs a little with
    // the processor's vector instructions, and so may one line's reading.
    int read = 0;
    std::string misread;
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.line + " in " + testCase.font.path + " at " + std::to_string(testCase.pixelSize) + " px");
        const cv::Mat image = vision_test::renderedText({testCase.line}, testCase.font, testCase.pixelSize);
        const auto observations = recognizeTextLines(image, {TextRecognitionLevel::accurate, testCase.languages});
        ASSERT_TRUE(observations) << observations.error().description;
        const auto readAs = readLines(observations.value());
        if (readAs == std::vector<std::string>{testCase.line}) {
            ++read;
            continue;
        }
        misread += "\n  " + testCase.line + " (" + std::to_string(testCase.pixelSize) + " px) as";
        for (const std::string& line : readAs) {
            misread += " \"" + line + "\"";
        }
    }
    EXPECT_GE(read, static_cast<int>(cases.size()) - 2) << "misread:" << misread;
}

// A larger model that cannot be loaded is set aside with one line that
// names it, and Chinese is read with Debian's model alone.
TEST(TextRecognizerTest, ReadsChineseWithoutALargerModelThatCannotBeLoaded) {
    std::string offsetsOutOfOrder(200, '\0');
    // Two entries, the second before the first: a negative length.
    const std::uint32_t entries = 2;
    const std::int64_t offsets[] = {100, 20};
    std::memcpy(offsetsOutOfOrder.data(), &entries, sizeof entries);
    std::memcpy(offsetsOutOfOrder.data() + sizeof entries, offsets, sizeof offsets);
    std::ifstream debianModel(languagePackFolder() / "chi_sim.traineddata", std::ios::binary);
    std::string cutShort(1024 * 1024, '\0');
    debianModel.read(cutShort.data(), static_cast<std::streamsize>(cutShort.size()));
    ASSERT_EQ(debianModel.gcount(), static_cast<std::streamsize>(cutShort.size()));
    std::string garbage;
    while (garbage.size() < 4096) {
        garbage += "not a text model ";
    }
    const std::vector<std::pair<std::string, std::string>> cases{
        {"empty", ""},
        {"garbage", garbage},
        {"offsets out of order", offsetsOutOfOrder},
        {"cut short", cutShort},
    };
    const std::string line = "识别图像中的文字内容";
    const cv::Mat image = vision_test::renderedText({line}, vision_test::notoSansSimplifiedChinese(), 40);
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        const lumenary::testing::TemporaryDirectory folder;
        const std::filesystem::path model = folder.path() / "chi_sim_large.traineddata";
        std::ofstream(model, std::ios::binary) << bytes;
        lumenary::testing::ScopedEnvironment environment;
        environment.set(fetchedLanguagePacksFolderVariable, folder.path().string());
        ::testing::internal::CaptureStderr();
        const auto observations = recognizeTextLines(image, {TextRecognitionLevel::accurate, {"zh-Hans"}});
        const auto again = recognizeTextLines(image, {TextRecognitionLevel::accurate, {"zh-Hans", "en"}});
        const std::string errors = ::testing::internal::GetCapturedStderr();
        ASSERT_TRUE(observations) << observations.error().description;
        EXPECT_EQ(readLines(observations.value()), std::vector<std::string>{line});
        ASSERT_TRUE(again) << again.error().description;
        EXPECT_EQ(readLines(again.value()), std::vector<std::string>{line});
        std::size_t named = 0;
        for (std::size_t at = errors.find(model.string()); at != std::string::npos;
             at = errors.find(model.string(), at + 1)) {
            ++named;
        }
        EXPECT_EQ(named, 1U) << errors;
    }
}

void expectBoxNear(const NormalizedRect& actual, const NormalizedRect& expected, double tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.width, expected.width, tolerance);
    EXPECT_NEAR(actual.height, expected.height, tolerance);
}

TEST(TextRecognizerTest, LineBoxesEncloseTheirInkWithTheOriginLowerLeft) {
    struct Case {
        std::string line;
        FontFace font;
        std::vector<std::string> languages;
        bool onEmptyScreen = false;
    };
    // Chinese is scaled to its readable line height, a line found alone is
    // read from its own rows, and a line alone on an empty screen in its
    // own part of it: boxes still answer the image as given.
    const std::vector<Case> cases{
        {"Lower left origin", vision_test::dejaVuSans(), {}},
        {"窗外下着小雨", vision_test::notoSansSimplifiedChinese(), {"zh-Hans"}},
        {"Alone on the screen", vision_test::dejaVuSans(), {}, true},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.line);
        const cv::Mat line = vision_test::renderedText({testCase.line}, testCase.font, 36);
        // High in a tall image, so that a box measured from the top would
        // land far from where the ink is.
        const cv::Mat image =
            testCase.onEmptyScreen ? vision_test::placedOnCanvas(line, {1920, 1080}, {740, 380})
                                   : vision_test::placedOnCanvas(line, {line.cols + 100, line.rows * 4}, {60, 10});
        const auto observations = recognizeTextLines(image, {TextRecognitionLevel::accurate, testCase.languages});
        ASSERT_TRUE(observations) << observations.error().description;
        ASSERT_EQ(observations.value().size(), 1U);
        expectBoxNear(observations.value()[0].boundingBox, vision_test::inkedRegion(image), 0.01);
    }
}

TEST(TextRecognizerTest, FastLevelReportsBoxesOfTheFullSizeImage) {
    // Over two megapixels, so that "fast" reads a smaller copy.
    const cv::Mat line = vision_test::renderedText({"Scaled copy, same boxes"}, vision_test::dejaVuSans(), 48);
    const cv::Mat image = vision_test::placedOnCanvas(line, {2000, 1200}, {300, 900});
    const auto observations = recognizeTextLines(image, {TextRecognitionLevel::fast, {}});
    ASSERT_TRUE(observations) << observations.error().description;
    EXPECT_EQ(readLines(observations.value()), std::vector<std::string>{"Scaled copy, same boxes"});
    ASSERT_EQ(observations.value().size(), 1U);
    expectBoxNear(observations.value()[0].boundingBox, vision_test::inkedRegion(image), 0.01);
}

TEST(TextRecognizerTest, ImagesWithoutTextGiveNoReadLine) {
    const cv::Scalar white(255, 255, 255);
    const std::vector<std::pair<std::string, cv::Mat>> cases{
        {"blank page", cv::Mat(480, 640, CV_8UC3, white)},
        {"one pixel", cv::Mat(1, 1, CV_8UC3, white)},
        {"one black pixel", cv::Mat(1, 1, CV_8UC3, cv::Scalar(0, 0, 0))},
        {"one row", cv::Mat(1, 5000, CV_8UC3, cv::Scalar(30, 30, 30))},
        {"one column", cv::Mat(5000, 1, CV_8UC3, cv::Scalar(30, 30, 30))},
    };
    for (const auto& [name, image] : cases) {
        SCOPED_TRACE(name);
        const auto observations = recognizeTextLines(image, {TextRecognitionLevel::accurate, {"en"}});
        ASSERT_TRUE(observations) << observations.error().description;
        EXPECT_TRUE(readLines(observations.value()).empty());
    }
}

TEST(TextRecognizerTest, UnsupportedLanguageFailsBeforeReading) {
    const cv::Mat image = vision_test::renderedText({"Hello"}, vision_test::dejaVuSans(), 32);
    const auto observations = recognizeTextLines(image, {TextRecognitionLevel::accurate, {"en", "x-klingon"}});
    ASSERT_FALSE(observations);
    EXPECT_EQ(observations.error().domain, "VisionService");
    EXPECT_EQ(observations.error().code, 400);
    EXPECT_EQ(observations.error().description, "Unsupported recognition language: x-klingon");
}

std::string joinedLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) {
        joined += line + "\n";
    }
    return joined;
}

TEST(TextRecognizerTest, ReadsEveryWordOfSignsOnPhotos) {
    struct Case {
        std::string name;
        std::string photo;
        vision_test::SignDesign sign;
        std::vector<std::string> languages;
    };
    const vision_test::FontFace bold{"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", 0};
    const vision_test::FontFace chinese{"/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc", 2};
    const std::vector<Case> cases{
        {"a parking notice turned and leaned among clutter",
         "/usr/lib/python3/dist-packages/skimage/data/rocket.jpg",
         {{"NO PARKING", "TOW AWAY ZONE"}, bold, 30, {200, 30, 30}, {250, 250, 250}, 4, 0.1, {0.3, 0.7}, true},
         {"en-US"}},
        {"light words on a dark screen",
         "/usr/lib/python3/dist-packages/skimage/data/motorcycle_left.png",
         {{"Speed limit 30", "Slow down"}, bold, 26, {120, 255, 140}, {10, 20, 10}, -5, 0, {0.3, 0.25}, true},
         {"en-US"}},
        {"a Chinese sign among clutter",
         "/usr/lib/python3/dist-packages/skimage/data/coffee.png",
         {{"停车场", "出口在右边"}, chinese, 36, {250, 250, 250}, {25, 60, 160}, -3, 0.05, {0.6, 0.5}, true},
         {"zh-Hans"}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const cv::Mat bgr = cv::imread(testCase.photo, cv::IMREAD_COLOR);
        ASSERT_FALSE(bgr.empty()) << testCase.photo << " is missing: install python3-skimage (scripts/setup does)";
        cv::Mat rgb;
        cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
        const cv::Mat photo = vision_test::photoWithSign(rgb, testCase.sign, 7);
        const auto observations = recognizeTextLines(photo, {TextRecognitionLevel::accurate, testCase.languages});
        ASSERT_TRUE(observations) << observations.error().description;
        const std::string read = joinedLines(readLines(observations.value()));
        const auto expected = vision_test::wordsOf(joinedLines(testCase.sign.lines));
        EXPECT_EQ(vision_test::wordsInCommon(expected, vision_test::wordsOf(read)), static_cast<int>(expected.size()))
            << read;
    }
}

TEST(TextRecognizerTest, ReadsByLayoutAnalysisWithOneLineSayingWhyWhenTheDetectionNetworkCannotBeLoaded) {
    std::ifstream network(textNetworksFolder() / "ch_PP-OCRv4_det_infer.onnx", std::ios::binary);
    std::string cutShort(64 * 1024, '\0');
    network.read(cutShort.data(), static_cast<std::streamsize>(cutShort.size()));
    ASSERT_EQ(network.gcount(), static_cast<std::streamsize>(cutShort.size())) << "run scripts/setup";
    struct Case {
        std::string name;
        std::optional<std::string> bytes;
        std::string reason;
    };
    const std::vector<Case> cases{
        {"missing", std::nullopt, "it cannot be opened"},
        {"empty", "", "the ONNX model is malformed: it holds no graph"},
        {"not a model", "not an ONNX model", "the ONNX model is malformed"},
        {"cut short", cutShort, "the ONNX model is malformed"},
    };
    const std::vector<std::string> lines{"Invoice 2931 due on 14 March"};
    const cv::Mat image = vision_test::renderedText(lines, vision_test::dejaVuSans(), 32);
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const lumenary::testing::TemporaryDirectory folder;
        const std::filesystem::path file = folder.path() / "ch_PP-OCRv4_det_infer.onnx";
        if (testCase.bytes) {
            std::ofstream(file, std::ios::binary) << *testCase.bytes;
        }
        lumenary::testing::ScopedEnvironment environment;
        environment.set(textNetworksFolderVariable, folder.path().string());
        ::testing::internal::CaptureStderr();
        const auto first = recognizeTextLines(image, {TextRecognitionLevel::accurate, {"en"}});
        const auto second = recognizeTextLines(image, {TextRecognitionLevel::accurate, {"en"}});
        const std::string errors = ::testing::internal::GetCapturedStderr();
        ASSERT_TRUE(first) << first.error().description;
        EXPECT_EQ(readLines(first.value()), lines);
        ASSERT_TRUE(second) << second.error().description;
        EXPECT_EQ(readLines(second.value()), lines);
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_NE(errors.find(file.string() + ": " + testCase.reason), std::string::npos) << errors;
        EXPECT_NE(errors.find("run scripts/setup"), std::string::npos) << errors;
    }
}

TEST(TextRecognizerTest, ReadsChineseWithTheLanguageModelsWhenTheRecognitionNetworkCannotBeLoaded) {
    struct Case {
        std::string name;
        std::vector<std::string> files;  // copied from the fetched folder
        std::string named;               // the file the console line names
    };
    const std::vector<Case> cases{
        {"no recognition network", {"ch_PP-OCRv4_det_infer.onnx", "ppocr_keys_v1.txt"}, "ch_PP-OCRv4_rec_infer.onnx"},
        {"no character list", {"ch_PP-OCRv4_det_infer.onnx", "ch_PP-OCRv4_rec_infer.onnx"}, "ppocr_keys_v1.txt"},
    };
    const std::string line = "识别图像中的文字内容";
    const cv::Mat image = vision_test::renderedText({line}, vision_test::notoSansSimplifiedChinese(), 40);
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const lumenary::testing::TemporaryDirectory folder;
        for (const std::string& file : testCase.files) {
            std::filesystem::copy_file(textNetworksFolder() / file, folder.path() / file);
        }
        lumenary::testing::ScopedEnvironment environment;
        environment.set(textNetworksFolderVariable, folder.path().string());
        ::testing::internal::CaptureStderr();
        const auto first = recognizeTextLines(image, {TextRecognitionLevel::accurate, {"zh-Hans"}});
        const auto second = recognizeTextLines(image, {TextRecognitionLevel::accurate, {"zh-Hans"}});
        const std::string errors = ::testing::internal::GetCapturedStderr();
        ASSERT_TRUE(first) << first.error().description;
        EXPECT_EQ(readLines(first.value()), std::vector<std::string>{line});
        ASSERT_TRUE(second) << second.error().description;
        EXPECT_EQ(readLines(second.value()), std::vector<std::string>{line});
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_NE(errors.find((folder.path() / testCase.named).string()), std::string::npos) << errors;
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
