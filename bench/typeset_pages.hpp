#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"
#include "vision_text_real_cases.hpp"

// Pages of typeset PDF manuals as the text benchmark reads them: drawn by
// poppler's pdftoppm, their lines taken from the PDF by its pdftotext, so
// that no page needs labelling by hand.
namespace lumenary::vision_bench {

// The lines a reader should find in `text`, pdftotext -layout's words of a
// page: each line that is not blank, its runs of white space made one
// space, without its page's closing form feed.
std::vector<std::string> typesetLines(const std::string& text);

// `line` as typesetLines makes each line, so that a read line compares
// with them: white space runs made one space, none at either end, and the
// ligatures U+FB00 to U+FB04 as their letters.
std::string typesetLine(const std::string& line);

// The lines of `page` (of kind pdfPage), by pdftotext.
platform::PlatformOutcome<std::vector<std::string>> typesetPageLines(const RealImage& page);

// `page` (of kind pdfPage) drawn by pdftoppm at `dotsPerInch` into `png`.
platform::PlatformOutcome<std::filesystem::path> renderedTypesetPage(const RealImage& page, int dotsPerInch,
                                                                     const std::filesystem::path& png);

// Whether `error` says a poppler program could not be started at all (not
// installed): then no other page can be made either.
bool popplerMissing(const platform::PlatformError& error);

}  // namespace lumenary::vision_bench
