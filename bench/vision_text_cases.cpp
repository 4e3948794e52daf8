#include "vision_text_cases.hpp"
#include "vision_text_photo_cases.hpp"
#include "vision_text_plain_ground_cases.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/process/worker_process.hpp"
#include "platform/vision/vision_worker_protocol.hpp"
#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/screen_text.hpp"
#include "platform/vision/worker/test_images.hpp"
#include "platform/vision/worker/text_recognizer.hpp"
#include "vision_bench_measures.hpp"

namespace lumenary::vision_bench {

namespace {

using namespace lumenary::platform;
using namespace lumenary::platform::vision;

// Everyday sentences with rarer characters (窗 雨 踢 鼹 蜻蜓 篱笆 毽),
// digits, the full-width marks of Chinese text and Latin words.
const std::vector<std::string> chineseLines{
    "今天天气很好",
    "窗外下着小雨",
    "孩子们在操场上踢足球",
    "雨停了，我们出去走走吧。",
    "请在周五之前回复这封邮件",
    "火车将于8:45到达上海站",
    "会议改到3月12日下午2点",
    "价格是128元，含税。",
    "你明天有空吗？",
    "小心！地面很滑。",
    "注意：本店营业时间为9:00至21:00",
    "苹果、香蕉、橘子和葡萄",
    "窗帘的颜色太深了",
    "他把窗户关上了",
    "雨伞放在门口的架子上",
    "他踢开了门，跑了出去",
    "我的电话号码是13912345678",
    "第2章 数据与方法",
    "请访问 www.example.com 了解详情",
    "本次共有256人参加考试",
    "温度降到了零下5度",
    "这本书一共有320页",
    "我们使用Python处理数据",
    "邮编：100084",
    "明天会下雨吗？",
    "湖面上倒映着蓝天白云",
    "鼹鼠在地下挖了一条隧道",
    "蜻蜓停在荷叶上",
    "他们在龙舟赛上夺得冠军",
    "奶奶织了一件毛衣",
    "书桌上堆满了稿纸",
    "攀登者终于到达了山顶",
    "餐厅、厨房、卧室都很干净",
    "截止日期：2024年6月30日",
    "总计：共3件，合计99.50元",
    "今年的销售额增长了15%",
    "请输入验证码：4729",
    "快递已送达，请及时取件！",
    "她喜欢喝绿茶，不喜欢喝咖啡。",
    "电梯在走廊的尽头",
    "这座桥建于1937年",
    "蝴蝶飞过了篱笆",
    "请勿在此处吸烟",
    "他骑自行车去上班",
    "踢毽子是一种传统游戏",
    "窗口编号：A12",
    "屏幕尺寸是27英寸",
    "雨后的空气很清新",
};

const std::vector<std::string> englishLines{
    "Invoice 2931 due on 14 March",
    "Total amount: 1,250.00 EUR",
    "The quick brown fox jumps over the lazy dog.",
    "Pack my box with five dozen liquor jugs!",
    "Sphinx of black quartz, judge my vow.",
    "Meeting room B opens at 9:30",
    "Please reply by Friday, 3 May.",
    "Call +44 20 7946 0958 for details",
    "Order #48213 shipped on 2024-06-30",
    "Temperature: 21.5 degrees (indoors)",
};

struct Face {
    std::string name;
    vision_test::FontFace font;
};

const std::string notoFolder = "/usr/share/fonts/opentype/noto/";
const std::string dejaVuFolder = "/usr/share/fonts/truetype/dejavu/";

// The Simplified Chinese face of each collection: the third, or the eighth
// for the monospaced one.
const std::vector<Face> chineseFaces{
    {"Noto Sans CJK SC", {notoFolder + "NotoSansCJK-Regular.ttc", 2}},
    {"Noto Sans CJK SC Bold", {notoFolder + "NotoSansCJK-Bold.ttc", 2}},
    {"Noto Serif CJK SC", {notoFolder + "NotoSerifCJK-Regular.ttc", 2}},
    {"Noto Serif CJK SC Bold", {notoFolder + "NotoSerifCJK-Bold.ttc", 2}},
    {"Noto Sans Mono CJK SC", {notoFolder + "NotoSansCJK-Regular.ttc", 7}},
};
const std::vector<int> chineseSizes{24, 32, 40, 48, 64};

const std::vector<Face> englishFaces{
    {"DejaVu Sans", {dejaVuFolder + "DejaVuSans.ttf", 0}},
    {"DejaVu Serif", {dejaVuFolder + "DejaVuSerif.ttf", 0}},
    {"DejaVu Sans Mono", {dejaVuFolder + "DejaVuSansMono.ttf", 0}},
};
const std::vector<int> englishSizes{20, 32, 48};

std::string readText(const PlatformOutcome<std::vector<TextObservation>>& observations) {
    require(observations, "text recognition");
    std::string text;
    for (const TextObservation& observation : observations.value()) {
        if (observation.topCandidate) {
            text += (text.empty() ? "" : "\n") + observation.topCandidate->text;
        }
    }
    return text;
}

// A table of exact reads, a row per face and a column per size, then the
// misreadings. Returns the lines read and the lines tried.
std::pair<int, int> exactReads(const char* title, const std::vector<std::string>& lines, const std::vector<Face>& faces,
                               const std::vector<int>& sizes, const std::vector<std::string>& languages) {
    std::printf("\n%s: lines read exactly of %zu, per face and size\n%-24s", title, lines.size(), "");
    for (const int size : sizes) {
        std::printf(" %5d px", size);
    }
    std::printf("\n");
    std::vector<std::string> misreadings;
    int read = 0;
    int tried = 0;
    for (const Face& face : faces) {
        if (!std::ifstream(face.font.path)) {
            std::printf("%-24s not installed (%s)\n", face.name.c_str(), face.font.path.c_str());
            continue;
        }
        std::printf("%-24s", face.name.c_str());
        for (const int size : sizes) {
            int readHere = 0;
            for (const std::string& line : lines) {
                const cv::Mat image = vision_test::renderedText({line}, face.font, size);
                const std::string text =
                    readText(recognizeTextLines(image, {TextRecognitionLevel::accurate, languages}));
                if (text == line) {
                    ++readHere;
                } else {
                    // Lines of a read split apart, on one line of the report.
                    std::string shown;
                    for (const char character : text) {
                        shown += character == '\n' ? std::string(" | ") : std::string(1, character);
                    }
                    misreadings.push_back(face.name + " " + std::to_string(size) + " px: " + line + " -> " + shown);
                }
            }
            std::printf(" %8d", readHere);
            std::fflush(stdout);
            read += readHere;
            tried += static_cast<int>(lines.size());
        }
        std::printf("\n");
    }
    std::printf("%-24s %d of %d, %.1f %%\n", "all", read, tried, tried == 0 ? 0.0 : 100.0 * read / tried);
    for (const std::string& misreading : misreadings) {
        std::printf("  misread (%s) %s\n", title, misreading.c_str());
    }
    return {read, tried};
}

long statusKilobytes(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    const std::string prefix(field);
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
        }
    }
    return 0;
}

void askForText(WorkerProcess& worker, const std::string& path, const std::vector<std::string>& languages) {
    VisionWorkerRequest request;
    request.analysis = VisionWorkerRequest::Analysis::text;
    request.imagePaths = {path};
    request.textOptions = {TextRecognitionLevel::accurate, languages};
    askWorker(worker, request);
}

void workerMemory(const std::filesystem::path& folder, const std::string& workerProgram) {
    const auto linePath = vision_test::writtenImage(
        folder / "chinese-line.png", vision_test::renderedText({chineseLines[1]}, chineseFaces[0].font, 32));
    auto worker = WorkerProcess::startOnOwnDescriptors(workerProgram, {}, {"OMP_THREAD_LIMIT=1"});
    require(worker, "starting the worker");
    const pid_t pid = worker.value().pid();
    askForText(worker.value(), linePath, {"en"});
    const long english = statusKilobytes(pid, "VmRSS:");
    askForText(worker.value(), linePath, {"zh-Hans"});
    const long chinese = statusKilobytes(pid, "VmRSS:");
    askForText(worker.value(), linePath, {"zh-Hans", "en"});
    std::printf("%-52s %9.1f MB\n", "worker resident memory, English read", english / 1024.0);
    std::printf("%-52s %9.1f MB\n", "worker resident memory, Chinese read too", chinese / 1024.0);
    std::printf("%-52s %9.1f MB\n", "worker resident memory, Chinese with English too",
                statusKilobytes(pid, "VmRSS:") / 1024.0);
    std::printf("%-52s %9.1f MB\n", "worker peak resident memory", statusKilobytes(pid, "VmHWM:") / 1024.0);
    worker.value().stop();
}

}  // namespace

void benchmarkTextCases(int runs, const std::filesystem::path& folder, const std::string& workerProgram) {
    std::printf("\ntext recognition, in this process, one thread\n");
    benchmarkTextPhotos();
    exactReads("Chinese (zh-Hans)", chineseLines, chineseFaces, chineseSizes, {"zh-Hans"});
    exactReads("Chinese (zh-Hans, en)", chineseLines, {chineseFaces[0], chineseFaces[2]}, {32}, {"zh-Hans", "en"});
    exactReads("English", englishLines, englishFaces, englishSizes, {"en"});
    benchmarkTextPlainGround();
    benchmarkTextTimes(runs, folder, workerProgram);
}

void benchmarkChineseSmallLines() {
    std::printf("\nChinese lines at 24 px, exact reads per face\n%-24s %12s %12s\n", "", "accurate", "fast");
    int exact[2] = {0, 0};
    int tried = 0;
    for (const Face& face : chineseFaces) {
        if (!std::ifstream(face.font.path)) {
            continue;
        }
        int here[2] = {0, 0};
        for (const std::string& line : chineseLines) {
            const cv::Mat image = vision_test::renderedText({line}, face.font, 24);
            for (const TextRecognitionLevel level : {TextRecognitionLevel::accurate, TextRecognitionLevel::fast}) {
                const int at = level == TextRecognitionLevel::accurate ? 0 : 1;
                here[at] += readText(recognizeTextLines(image, {level, {"zh-Hans"}})) == line ? 1 : 0;
            }
        }
        const int count = static_cast<int>(chineseLines.size());
        std::printf("%-24s %5d/%-6d %5d/%-6d\n", face.name.c_str(), here[0], count, here[1], count);
        exact[0] += here[0];
        exact[1] += here[1];
        tried += count;
    }
    std::printf("%-24s %5.1f %%      %5.1f %%\n", "all", 100.0 * exact[0] / std::max(1, tried),
                100.0 * exact[1] / std::max(1, tried));
}

std::vector<vision_test::LabelledTextImage> chineseSmallLines() {
    std::vector<vision_test::LabelledTextImage> images;
    for (const Face& face : chineseFaces) {
        if (!std::ifstream(face.font.path)) {
            continue;
        }
        for (const std::string& line : chineseLines) {
            images.push_back({face.name + ": " + line, vision_test::renderedText({line}, face.font, 24), {line}});
        }
    }
    return images;
}

void benchmarkTextTimes(int runs, const std::filesystem::path& folder, const std::string& workerProgram) {
    std::printf("\ntext recognition times, %d runs each\n", runs);
    const cv::Mat photo = vision_test::photoLikeImage({4000, 3000}, 1);
    const cv::Mat line = vision_test::renderedText({chineseLines[2]}, chineseFaces[2].font, 32);
    cv::Mat photoWithText = photo.clone();
    const cv::Mat block =
        vision_test::renderedText({chineseLines.begin(), chineseLines.begin() + 8}, chineseFaces[0].font, 64);
    block.copyTo(photoWithText(cv::Rect({600, 500}, block.size())));
    for (const auto& languages : {std::vector<std::string>{"en"}, std::vector<std::string>{"zh-Hans"}}) {
        require(recognizeTextLines(line, {TextRecognitionLevel::accurate, languages}), "loading the model");
    }
    const auto timed = [runs](const cv::Mat& image, const std::vector<std::string>& languages) {
        return medianMilliseconds(runs, [&] {
            require(recognizeTextLines(image, {TextRecognitionLevel::accurate, languages}), "OCR");
        });
    };
    report("OCR zh-Hans, one line at 32 px", timed(line, {"zh-Hans"}), "< 100 ms");
    report("OCR zh-Hans, 12 MP photo without text", timed(photo, {"zh-Hans"}), "-");
    // 1.5 times what reading it took before the detection network found
    // its lines.
    report("OCR zh-Hans, 12 MP photo with 8 lines of text", timed(photoWithText, {"zh-Hans"}), "<= 1692 ms");
    report("OCR en, 12 MP photo without text", timed(photo, {"en"}), "<= 350 ms");
    // A screenshot of a program's settings, as one is sent to be read.
    cv::Mat screenshot(765, 921, CV_8UC3, cv::Scalar(236, 236, 236));
    for (unsigned seed = 1; seed <= 6; ++seed) {
        const cv::Mat dialog = vision_test::controlDialog(seed).image;
        const cv::Rect at(static_cast<int>((seed - 1) % 2) * 460, static_cast<int>((seed - 1) / 2) * 255,
                          std::min(dialog.cols, 460), std::min(dialog.rows, 255));
        dialog(cv::Rect({}, at.size())).copyTo(screenshot(at));
    }
    report("OCR en, 921x765 dialog screenshot", timed(screenshot, {"en"}), "-");
    report("OCR en, 921x765 dialog screenshot, fast level", medianMilliseconds(runs, [&] {
               require(recognizeTextLines(screenshot, {TextRecognitionLevel::fast, {"en"}}), "OCR");
           }), "-");
    workerMemory(folder, workerProgram);
}

}  // namespace lumenary::vision_bench
