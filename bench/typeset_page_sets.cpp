#include "typeset_page_sets.hpp"

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <system_error>

#include "photographed_page.hpp"
#include "typeset_pages.hpp"

namespace lumenary::vision_bench {

namespace {

using platform::PlatformError;

constexpr int photographedPerPdf = 2;

// A seed of the page's own, the same from run to run and whatever order
// the manifest lists its pages in (FNV-1a of its PDF's path and number).
unsigned seedOf(const RealImage& page) {
    std::uint32_t hash = 2166136261U;
    for (const char byte : page.name + "#" + std::to_string(page.pdfPage)) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 16777619U;
    }
    return hash;
}

// The images of one page, added to `cases`, all named `name` and written
// as `stem` with their kind after it; or what kept the rest of them out.
std::optional<PlatformError> addPageCases(const RealImage& page, const std::string& name, const std::string& stem,
                                          TypesetSetsWanted wanted, std::vector<TypesetCase>& cases) {
    const auto lines = typesetPageLines(page);
    if (!lines) {
        return lines.error();
    }
    const auto rendered = [&](int dotsPerInch) {
        return renderedTypesetPage(page, dotsPerInch, stem + "-" + std::to_string(dotsPerInch) + ".png");
    };
    if (wanted.at100Dpi) {
        const auto png = rendered(100);
        if (!png) {
            return png.error();
        }
        cases.push_back({typesetAt100DpiSet, name, png.value(), lines.value()});
    }
    if (!wanted.at150Dpi && !wanted.photographed) {
        return std::nullopt;
    }
    const auto png = rendered(150);
    if (!png) {
        return png.error();
    }
    if (wanted.at150Dpi) {
        cases.push_back({typesetAt150DpiSet, name, png.value(), lines.value()});
    }
    if (wanted.photographed) {
        const auto jpeg = photographedPage(png.value(), seedOf(page), stem + "-photographed.jpg");
        if (!jpeg) {
            return jpeg.error();
        }
        cases.push_back({typesetPhotographedSet, name, jpeg.value(), lines.value()});
    }
    return std::nullopt;
}

}  // namespace

std::vector<TypesetCase> typesetCases(const std::vector<RealImage>& pages, const std::filesystem::path& folder,
                                      TypesetSetsWanted wanted) {
    std::vector<TypesetCase> cases;
    const auto drawn = folder / "typeset";
    std::error_code error;
    std::filesystem::create_directories(drawn, error);
    if (error) {
        std::printf("typeset pages left out: cannot make %s: %s\n", drawn.c_str(), error.message().c_str());
        return cases;
    }
    std::map<std::string, int> photographedOf;  // by PDF
    for (const RealImage& page : pages) {
        TypesetSetsWanted ofPage = wanted;
        ofPage.photographed = wanted.photographed && photographedOf[page.name]++ < photographedPerPdf;
        if (!ofPage.at100Dpi && !ofPage.at150Dpi && !ofPage.photographed) {
            continue;
        }
        const std::string name =
            std::filesystem::path(page.name).filename().string() + " p. " + std::to_string(page.pdfPage);
        const std::string stem =
            (drawn / (std::filesystem::path(page.name).stem().string() + "-" + std::to_string(page.pdfPage))).string();
        if (const auto failure = addPageCases(page, name, stem, ofPage, cases); failure && popplerMissing(*failure)) {
            std::printf("typeset pages left out: %s\n", failure->description.c_str());
            break;
        } else if (failure) {
            std::printf("typeset page left out: %s: %s\n", name.c_str(), failure->description.c_str());
        }
    }
    return cases;
}

}  // namespace lumenary::vision_bench
