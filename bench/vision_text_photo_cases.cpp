#include "vision_text_photo_cases.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/vision/worker/text_line_detector.hpp"
#include "platform/vision/worker/text_photos.hpp"
#include "platform/vision/worker/text_recognizer.hpp"
#include "vision_bench_measures.hpp"

namespace lumenary::vision_bench {

namespace {

using namespace lumenary::platform::vision;

std::string readText(const std::vector<TextObservation>& observations) {
    std::string text;
    for (const TextObservation& observation : observations) {
        if (observation.topCandidate) {
            text += (text.empty() ? "" : " | ") + observation.topCandidate->text;
        }
    }
    return text;
}

void wordRates(const char* title, const std::vector<vision_test::LabelledTextPhoto>& photos) {
    std::printf("\n%s\n%-40s %8s %9s\n", title, "photo", "recall", "precision");
    int expectedWords = 0;
    int readWords = 0;
    int common = 0;
    std::vector<std::string> reads;
    for (const auto& photo : photos) {
        const auto observations = recognizeTextLines(photo.image, {TextRecognitionLevel::accurate, photo.languages});
        require(observations, "text recognition of a photo");
        std::string labelled;
        for (const std::string& line : photo.lines) {
            labelled += line + " ";
        }
        const std::string text = readText(observations.value());
        const auto expected = vision_test::wordsOf(labelled);
        const auto read = vision_test::wordsOf(text);
        const int inCommon = vision_test::wordsInCommon(expected, read);
        expectedWords += static_cast<int>(expected.size());
        readWords += static_cast<int>(read.size());
        common += inCommon;
        std::printf("%-40s %4d/%-3zu %5d/%-3zu\n", photo.name.c_str(), inCommon, expected.size(), inCommon, read.size());
        if (inCommon != static_cast<int>(expected.size()) || inCommon != static_cast<int>(read.size())) {
            reads.push_back(photo.name + ": " + text);
        }
    }
    std::printf("%-40s %7.1f %% %7.1f %%\n", "all", expectedWords == 0 ? 0.0 : 100.0 * common / expectedWords,
                readWords == 0 ? 0.0 : 100.0 * common / readWords);
    for (const std::string& shown : reads) {
        std::printf("  read (%s) %s\n", title, shown.c_str());
    }
}

}  // namespace

void benchmarkTextPhotos() {
    std::vector<std::string> missing;
    const auto photos = vision_test::labelledTextPhotos(&missing);
    for (const std::string& path : missing) {
        std::printf("photo left out, not installed: %s\n", path.c_str());
    }
    const char* networks = std::getenv(textNetworksFolderVariable);
    const std::string chosen = networks == nullptr ? std::string() : networks;
    setenv(textNetworksFolderVariable, "/nonexistent", 1);
    wordRates("photos with text, lines found by layout analysis alone", photos);
    if (chosen.empty()) {
        unsetenv(textNetworksFolderVariable);
    } else {
        setenv(textNetworksFolderVariable, chosen.c_str(), 1);
    }
    wordRates("photos with text, lines found by the text-detection network", photos);
}

}  // namespace lumenary::vision_bench
