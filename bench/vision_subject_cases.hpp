#pragma once

#include <filesystem>
#include <string>

namespace lumenary::vision_bench {

// How often saliency and animal recognition are right for the image, on a
// labelled set: photos of Debian packages (scikit-image's data, darknet's
// data, the face library's examples), collages and crops made of them, and
// a drawn scene. Every call goes through the worker program, as the tools
// make it. Prints precision and recall per tool; with `verbose`, every
// image's answers too. The collages are written into `folder`. Photos that
// are missing are skipped, and named.
void benchmarkSubjectCases(const std::filesystem::path& folder, const std::string& workerProgram, bool verbose);

}  // namespace lumenary::vision_bench
