#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace lumenary::platform {

// A new file whose whole text is on the disk, waiting to be given its name
// with moveWithoutReplacing.
struct DurableTemporaryFile {
    // The file's path; empty when it could not be created.
    std::string path;
    // 0, or the errno of the step that failed. A file that was created but
    // could not be written is removed again, and `path` still names it.
    int errorNumber = 0;
};

// Creates a file from `pattern` (a path ending in XXXXXX), writes `text`
// and flushes it to the disk.
DurableTemporaryFile writeDurableTemporaryFile(std::string pattern, std::string_view text);

// Makes a new name in `folder` durable: the folder itself goes to the disk.
void syncFolder(const std::filesystem::path& folder);

}  // namespace lumenary::platform
