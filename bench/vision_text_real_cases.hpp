#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"

// The labelled real material of the text benchmark: manifests
// (bench/real_text/<program>.tsv) naming screenshots and scanned pages
// inside Debian packages, or already installed, and photographs of signs,
// each with what a reader sees in it; and pages of typeset PDF manuals,
// whose words come from the PDF itself when the page is rendered.
namespace lumenary::vision_bench {

struct RealImage {
    enum class Kind { screen, page, photo, pdfPage };
    Kind kind = Kind::page;
    // The image's path inside its package, or its installed path; a PDF
    // page's, its PDF's.
    std::string name;
    // Where the image is read from: under the fetch's output folder, or
    // the installed path itself; a PDF page is rendered from the PDF there.
    std::filesystem::path path;
    // A screen's values, or a page's or a photo's lines in reading order;
    // none for a PDF page, whose lines the PDF holds.
    std::vector<std::string> lines;
    // A PDF page's number, from 1.
    int pdfPage = 0;
};

struct RealManifest {
    std::string program;
    // The language its images are written in, as the tool takes it.
    std::vector<std::string> languages{"en"};
    std::vector<RealImage> images;
};

// The manifest at `path`, its packaged images placed where
// bench/fetch_real_text puts them under `fetched`
// (<package>_<version>/<path inside the package>). Fails, naming the file
// and line, on a line that is not of the shared format.
platform::PlatformOutcome<RealManifest> readRealManifest(const std::filesystem::path& path,
                                                         const std::filesystem::path& fetched);

// The manifests in `folder` (its .tsv files), in name order; none when the
// folder is missing.
std::vector<std::filesystem::path> realManifests(const std::filesystem::path& folder);

// Runs `script` (bench/fetch_real_text) on `manifests` with `fetched` as
// its output folder and waits for it: its exit status, or why it could not
// be run. Its messages go to our standard error.
platform::PlatformOutcome<int> fetchRealImages(const std::filesystem::path& script,
                                               const std::filesystem::path& fetched,
                                               const std::vector<std::filesystem::path>& manifests);

}  // namespace lumenary::vision_bench
