#include "vision_text_plain_ground_cases.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "platform/vision/worker/plain_ground_text.hpp"
#include "platform/vision/worker/text_photos.hpp"
#include "platform/vision/worker/test_images.hpp"
#include "platform/vision/worker/text_recognizer.hpp"
#include "vision_bench_measures.hpp"
#include "vision_text_cases.hpp"
#include "vision_text_scores.hpp"

namespace lumenary::vision_bench {

namespace {

using namespace lumenary::platform::vision;
using vision_test::LabelledTextImage;

constexpr TextRecognitionLevel levels[] = {TextRecognitionLevel::accurate, TextRecognitionLevel::fast};
const char* levelName(TextRecognitionLevel level) {
    return level == TextRecognitionLevel::accurate ? "accurate" : "fast";
}

std::vector<std::string> readLines(const cv::Mat& image, TextRecognitionLevel level,
                                   const std::vector<std::string>& languages) {
    const auto observations = recognizeTextLines(image, {level, languages});
    require(observations, "text recognition");
    std::vector<std::string> lines;
    for (const TextObservation& observation : observations.value()) {
        if (observation.topCandidate) {
            lines.push_back(observation.topCandidate->text);
        }
    }
    return lines;
}

// Marks a frame's edge or a box's corner reads as.
bool edgeMark(char32_t point) {
    return std::u32string_view(U"[]{}|()「」『』\"'“”‘’J/\\_!").find(point) != std::u32string_view::npos;
}

// Whether `read` starts or ends with a mark that the sign's line it holds
// does not.
bool hasEdgeMark(const std::string& read, const std::vector<std::string>& expectedLines) {
    if (read.empty() || std::find(expectedLines.begin(), expectedLines.end(), read) != expectedLines.end()) {
        return false;
    }
    std::string expected;
    for (const std::string& line : expectedLines) {
        if (read.find(line) != std::string::npos) {
            expected = line;
        }
    }
    const auto markAt = [](char32_t readPoint, char32_t expectedPoint) {
        return edgeMark(readPoint) && readPoint != expectedPoint;
    };
    const std::u32string readPoints = vision_test::codePoints(read);
    const std::u32string expectedPoints = vision_test::codePoints(expected);
    return markAt(readPoints.front(), expected.empty() ? 0 : expectedPoints.front()) ||
           markAt(readPoints.back(), expected.empty() ? 0 : expectedPoints.back());
}

void closelyCropped() {
    const std::vector<std::pair<const char*, double>> margins{
        {"margin 0", 0.0}, {"margin 1/8", 0.125}, {"margin 1/4", 0.25}, {"roomy margin", 1.0}};
    const std::vector<int> sizes{14, 20, 28, 36};
    std::printf("\nEnglish lines cut close, exact reads per margin (faces x sizes x 8 lines)\n%-16s %12s %12s\n", "",
                "accurate", "fast");
    std::vector<std::string> misreadings;
    for (const auto& [marginName, margin] : margins) {
        int exact[2] = {0, 0};
        int tried = 0;
        for (const auto& [faceName, face] : vision_test::installedLatinFaces()) {
            for (const int size : sizes) {
                for (const LabelledTextImage& line : vision_test::closelyCroppedLines(face, size, margin)) {
                    ++tried;
                    for (int level = 0; level < 2; ++level) {
                        const std::string read = joined(readLines(line.image, levels[level], {"en"}), " | ");
                        if (read == line.lines.front()) {
                            ++exact[level];
                        } else if (level == 0) {
                            misreadings.push_back(std::string(marginName) + ", " + faceName + " " +
                                                  std::to_string(size) + " px: " + line.lines.front() + " -> " + read);
                        }
                    }
                }
            }
        }
        std::printf("%-16s %5d/%-4d %5.1f%% %5d/%-4d %5.1f%%\n", marginName, exact[0], tried, 100.0 * exact[0] / tried,
                    exact[1], tried, 100.0 * exact[1] / tried);
        std::fflush(stdout);
    }
    for (const std::string& misreading : misreadings) {
        std::printf("  misread (accurate) %s\n", misreading.c_str());
    }
}

// The values in `dialogs` read at each level, with the ones the accurate
// level missed.
void dialogValues(const char* title, const std::vector<LabelledTextImage>& dialogs) {
    int values = 0;
    int read[2] = {0, 0};
    std::vector<std::string> missed;
    for (const LabelledTextImage& dialog : dialogs) {
        for (int level = 0; level < 2; ++level) {
            const std::string text = joined(readLines(dialog.image, levels[level], {"en"}), " | ");
            auto words = vision_test::wordsOf(text);
            for (const std::string& value : dialog.lines) {
                if (const auto run = runOf(words, value)) {
                    ++read[level];
                    // Each value is found once: two fields of 5 need two.
                    words.erase(words.begin() + static_cast<std::ptrdiff_t>(run->first),
                                words.begin() + static_cast<std::ptrdiff_t>(run->second));
                } else if (level == 0) {
                    missed.push_back(dialog.name + ": \"" + value + "\" not in: " + text);
                }
            }
        }
        values += static_cast<int>(dialog.lines.size());
    }
    std::printf("\nvalues in fields read, %s\n%-16s %5d/%-4d %5.1f%% %5d/%-4d %5.1f%%\n", title, "values", read[0],
                values, 100.0 * read[0] / values, read[1], values, 100.0 * read[1] / values);
    for (const std::string& miss : missed) {
        std::printf("  missed (accurate) %s\n", miss.c_str());
    }
}

void dialogValues() {
    std::vector<LabelledTextImage> alone;
    std::vector<LabelledTextImage> onScreen;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        alone.push_back(vision_test::dialogScreen(seed));
        onScreen.push_back(vision_test::dialogOnScreen(seed));
    }
    dialogValues("12 dialogs cut out of their screen", alone);
    dialogValues("the same dialogs on a 1920x1080 screen", onScreen);
}

void framedSigns() {
    const auto signs = vision_test::framedSigns();
    int exact[2] = {0, 0};
    int marks[2] = {0, 0};
    std::vector<std::string> reads;
    for (const LabelledTextImage& sign : signs) {
        for (int level = 0; level < 2; ++level) {
            const std::vector<std::string> lines = readLines(sign.image, levels[level], {"en"});
            exact[level] += joined(lines, " ") == joined(sign.lines, " ") ? 1 : 0;
            for (const std::string& line : lines) {
                marks[level] += hasEdgeMark(line, sign.lines) ? 1 : 0;
            }
            reads.push_back(std::string(levelName(levels[level])) + " " + sign.name + " -> " + joined(lines, " | "));
        }
    }
    const int count = static_cast<int>(signs.size());
    std::printf("\nframed signs\n%-16s %5d/%-4d %12s %5d/%-4d\n%-16s %12d %12d\n", "exact", exact[0], count, "", exact[1],
                count, "lines with edge marks", marks[0], marks[1]);
    for (const std::string& read : reads) {
        std::printf("  read %s\n", read.c_str());
    }
}

}  // namespace

void benchmarkTextPlainGround() {
    std::printf("\ntext on plain ground, accurate and fast side by side, in this process, one thread\n");
    std::printf("%-16s %12s %12s\n", "", "accurate", "fast");
    framedSigns();
    dialogValues();
    closelyCropped();
    benchmarkChineseSmallLines();
}

}  // namespace lumenary::vision_bench
