#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/vision/worker/plain_ground_text.hpp"

namespace lumenary::vision_bench {

// How many rendered lines text recognition reads exactly: Chinese lines
// (common and rarer characters, digits, punctuation, Latin words among
// them) in the Simplified Chinese faces of the CJK font collections at
// 24 to 64 px, and English lines like the tests' own; a table per face
// and size, then every misreading. Then the time of a call on a 12 MP
// photo and one line, and the worker's memory once it has read Chinese.
// Faces that are not installed are left out with a line saying so.
void benchmarkTextCases(int runs, const std::filesystem::path& folder, const std::string& workerProgram);

// Chinese lines at 24 px in each face, read exactly at both levels.
void benchmarkChineseSmallLines();
// Those lines at 24 px in each installed face, each labelled with itself.
std::vector<vision_test::LabelledTextImage> chineseSmallLines();

// The times and memory of benchmarkTextCases alone.
void benchmarkTextTimes(int runs, const std::filesystem::path& folder, const std::string& workerProgram);

}  // namespace lumenary::vision_bench
