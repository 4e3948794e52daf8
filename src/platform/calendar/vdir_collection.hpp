#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// One calendar or reminder list of a vdir folder: a sub-folder of it.
struct VdirCollection {
    std::filesystem::path folder;
    // The sub-folder's name as valid UTF-8: the collection's identifier.
    std::string name;
    // The content of its "displayname" file, else its name.
    std::string title;
};

// The collections under `root` in the store's order: by title (ignoring
// case), then by folder name. Hidden folders and plain files are not
// collections; a symbolic link to a folder is one. A root that does not
// exist holds none; one that is not a folder, or cannot be listed, is an
// error naming it.
PlatformOutcome<std::vector<VdirCollection>> vdirCollections(const std::filesystem::path& root);

// The item files of one collection (its "*.ics" files that are not
// hidden), in name order.
PlatformOutcome<std::vector<std::filesystem::path>> vdirItemFiles(const std::filesystem::path& folder);

}  // namespace lumenary::platform
