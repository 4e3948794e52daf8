#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::platform::vision {

// The folder of the text recogniser's language packs (<pack>.traineddata):
// TESSDATA_PREFIX when set, else the folder Debian's packs install into.
std::filesystem::path languagePackFolder();

// Overrides the folder of the fetched packs (tests point it at a folder of
// their own).
inline constexpr const char* fetchedLanguagePacksFolderVariable = "LUMENARY_TEXT_MODELS_DIR";

// The folder of the models scripts/setup fetches (the larger Simplified
// Chinese model, chi_sim_large.traineddata): $LUMENARY_TEXT_MODELS_DIR
// when set and not empty, else $XDG_CACHE_HOME/lumenary/chi_sim-1.0.0 (an
// absolute XDG_CACHE_HOME only), else ~/.cache/lumenary/chi_sim-1.0.0.
std::filesystem::path fetchedLanguagePackFolder();

// The recogniser's model string for a pack string ("chi_sim+eng"): each
// pack followed by its larger model when `fetchedFolder` holds one
// (<pack>_large.traineddata), which the recogniser asks about the words its
// pack reads with little confidence ("chi_sim+chi_sim_large+eng"). The two
// misread different glyphs: together they read more lines exactly than
// either alone.
std::string withFetchedModels(const std::string& packs, const std::filesystem::path& fetchedFolder);

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
