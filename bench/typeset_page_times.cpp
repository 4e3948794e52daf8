#include "typeset_page_times.hpp"

#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>

#include "platform/vision/worker/image_loader.hpp"
#include "platform/vision/worker/text_recognizer.hpp"
#include "typeset_pages.hpp"
#include "vision_bench_measures.hpp"
#include "vision_text_real_cases.hpp"

namespace lumenary::vision_bench {

namespace {

using namespace lumenary::platform;
using namespace lumenary::platform::vision;

// The first PDF page of the manifests, drawn at 150 dpi into `folder`.
PlatformOutcome<std::filesystem::path> firstTypesetPage(const std::filesystem::path& folder,
                                                        const std::filesystem::path& manifests,
                                                        const std::filesystem::path& fetchScript) {
    const auto fetched = folder / "real-text";
    for (const auto& path : realManifests(manifests)) {
        const auto manifest = readRealManifest(path, fetched);
        if (!manifest) {
            return manifest.error();
        }
        const auto& images = manifest.value().images;
        const auto page = std::find_if(images.begin(), images.end(),
                                       [](const RealImage& image) { return image.kind == RealImage::Kind::pdfPage; });
        if (page == images.end()) {
            continue;
        }
        const auto status = fetchRealImages(fetchScript, fetched, {path});
        if (!status) {
            return status.error();
        }
        std::error_code error;
        if (!std::filesystem::is_regular_file(page->path, error)) {
            return PlatformError{"vision_bench", 9,
                                 fetchScript.string() + " did not bring " + page->name + " (its messages above)"};
        }
        return renderedTypesetPage(*page, 150, folder / "typeset-times.png");
    }
    return PlatformError{"vision_bench", 10, "no manifest in " + manifests.string() + " names a PDF page"};
}

}  // namespace

void benchmarkTypesetPageTimes(int runs, const std::filesystem::path& folder, const std::filesystem::path& manifests,
                               const std::filesystem::path& fetchScript) {
    const auto path = firstTypesetPage(folder, manifests, fetchScript);
    if (!path) {
        std::printf("typeset page left out of the times: %s\n", path.error().description.c_str());
        return;
    }
    const auto page = loadImage(path.value().string());
    require(page, "loading the typeset page");
    for (const TextRecognitionLevel level : {TextRecognitionLevel::accurate, TextRecognitionLevel::fast}) {
        require(recognizeTextLines(page.value(), {level, {"en"}}), "loading the model");
        const double median = medianMilliseconds(runs, [&] {
            require(recognizeTextLines(page.value(), {level, {"en"}}), "OCR of the typeset page");
        });
        report(level == TextRecognitionLevel::accurate ? "OCR en, typeset manual page at 150 dpi"
                                                       : "OCR en, typeset manual page at 150 dpi, fast level",
               median, "-");
    }
}

}  // namespace lumenary::vision_bench
