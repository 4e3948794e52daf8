#pragma once

#include <filesystem>
#include <string>

namespace lumenary::vision_bench {

// The video cases: exact frames on one decoding thread in this process, and
// the two video tools end to end through the worker program. Videos are
// written into `folder` first.
void benchmarkVideoCases(int runs, const std::filesystem::path& folder, const std::string& workerProgram);

}  // namespace lumenary::vision_bench
