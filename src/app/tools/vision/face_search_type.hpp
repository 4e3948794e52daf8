#pragma once

#include <optional>
#include <string>

namespace lumenary::app {

// Which search a face search's path calls for: the requested type as given
// (neither checked nor lower-cased; the caller refuses what it cannot run),
// else "folder" for a directory (even one named like a video), "video" for
// a video extension in any case, and "image" for everything else, a path
// that does not exist included.
std::string detectSearchType(const std::string& path, const std::optional<std::string>& requestedType);

// The extension, lower-cased, is one a folder search reads as an image.
bool hasImageFileExtension(const std::string& name);

}  // namespace lumenary::app
