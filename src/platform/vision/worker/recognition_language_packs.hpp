#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::platform::vision {

// The folder of the text recogniser's language packs (<pack>.traineddata):
// TESSDATA_PREFIX when set, else the folder Debian's packs install into.
std::filesystem::path languagePackFolder();

// The recogniser's language string ("eng+chi_sim") for a list of language
// tags. Each tag goes through a fixed table (compared without regard to
// case, as language tags are) to a pack, which counts only when its
// .traineddata file is in `packFolder`; a pack named twice counts once, in
// the order of its first tag. An empty list means English. A tag outside
// the table or whose pack is not installed fails with 400
// "Unsupported recognition language: <tag>". Only the table's own pack
// names ever reach the recogniser, never a caller's text.
PlatformOutcome<std::string> recognitionLanguagePacks(const std::vector<std::string>& tags,
                                                      const std::filesystem::path& packFolder);

}  // namespace lumenary::platform::vision
