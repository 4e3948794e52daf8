#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// No calendar item comes near this; a larger file is skipped rather than
// read into memory.
inline constexpr std::uintmax_t maximumVdirItemFileBytes = 16 * 1024 * 1024;

// The bytes of one item file. A file over the limit, one that is not a
// regular file, or one that cannot be read is an error naming it.
PlatformOutcome<std::string> readVdirItemFile(const std::filesystem::path& path);

// Writes `<fileStem>.ics` into `folder`: to a hidden temporary file in the
// same folder first, flushed to the disk, then moved to its name in one
// step that never replaces a file already there. Answers the new file's
// path; on any failure nothing is left behind.
PlatformOutcome<std::filesystem::path> writeNewVdirItemFile(const std::filesystem::path& folder,
                                                            const std::string& fileStem, const std::string& text);

}  // namespace lumenary::platform
