#pragma once

#include <filesystem>
#include <string>

namespace lumenary::vision_bench {

// Hand pose on a 12-megapixel photo with two hands (the face library's
// example photo of a couple, enlarged onto a drawn background): in this
// process after decoding, and end to end through the worker program. The
// photo is written into `folder` first. Skipped, with a line saying why,
// when the photo or the networks are missing.
void benchmarkHandPoseCases(int runs, const std::filesystem::path& folder, const std::string& workerProgram);

}  // namespace lumenary::vision_bench
