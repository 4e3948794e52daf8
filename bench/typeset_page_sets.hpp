#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "vision_text_real_cases.hpp"

namespace lumenary::vision_bench {

// The sets the typeset pages make, by how the page reaches the reader.
constexpr const char* typesetAt100DpiSet = "typeset pages: 100 dpi";
constexpr const char* typesetAt150DpiSet = "typeset pages: 150 dpi";
constexpr const char* typesetPhotographedSet = "typeset pages: photographed";

// Which of those sets are read.
struct TypesetSetsWanted {
    bool at100Dpi = false;
    bool at150Dpi = false;
    bool photographed = false;
};

// One image of a typeset page, for the set named `set`.
struct TypesetCase {
    const char* set;
    std::string name;
    std::filesystem::path image;
    std::vector<std::string> lines;
};

// `pages` (of kind pdfPage, their PDFs brought) drawn into `folder` for the
// sets wanted: each at 100 and at 150 dpi, and the first two of each PDF
// also photographed from the 150-dpi drawing, all labelled with the lines
// pdftotext finds. A page that cannot be made is left out with a line
// saying why; every page is, when poppler is not installed.
std::vector<TypesetCase> typesetCases(const std::vector<RealImage>& pages, const std::filesystem::path& folder,
                                      TypesetSetsWanted wanted);

}  // namespace lumenary::vision_bench
