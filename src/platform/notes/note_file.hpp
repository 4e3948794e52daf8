#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// No note comes near this; a larger file is passed over, not read.
inline constexpr std::uintmax_t maximumNoteFileBytes = 16 * 1024 * 1024;

inline constexpr std::string_view noteFileExtension = ".md";

// The bytes of one note file, as readBoundedFile reads them.
PlatformOutcome<std::string> readNoteFile(const std::filesystem::path& path);

// Writes a new note file for `title` into `folder` and answers the name it
// got (its file name without ".md"). The text goes to a hidden temporary
// file in the folder first, is flushed to the disk and then takes its name
// in one step that never replaces a file: the title made a file-system name
// (fileSystemName), else the first free of "<name> 2", "<name> 3" and so on,
// each cut to fit one file name. On any failure nothing is left behind.
PlatformOutcome<std::string> writeNewNoteFile(const std::filesystem::path& folder, const std::string& title,
                                              const std::string& text);

}  // namespace lumenary::platform
