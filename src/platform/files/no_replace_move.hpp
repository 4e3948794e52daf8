#pragma once

#include <filesystem>

namespace lumenary::platform {

// Gives the file at `from` the name `to` in one step, unless `to` exists
// (EEXIST then, with `from` left where it was). Answers 0 or the errno of
// the failure. A file system without the no-replace rename gets a hard link
// and an unlink instead, which refuse the same way.
int moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace lumenary::platform
