#include "platform/calendar/vdir_collection.hpp"

#include <algorithm>
#include <system_error>
#include <tuple>
#include <variant>

#include "platform/files/bounded_file_reader.hpp"
#include "platform/text/unicode_text.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

// A display name is one short line; more is not a name.
constexpr std::size_t maximumDisplayNameBytes = 4096;

std::string trimmedName(std::string text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isSpace(text.back())) {
        text.pop_back();
    }
    const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    text.erase(text.begin(), first);
    return text;
}

// A display name that is not a small regular file (a named pipe a
// synchroniser left, a device, a large file) is not read: the folder's name
// stands in.
std::string titleOf(const std::filesystem::path& folder, const std::string& name) {
    auto bytes = readBoundedBytes(folder / "displayname", maximumDisplayNameBytes);
    const auto* text = std::get_if<std::string>(&bytes);
    if (text == nullptr) {
        return name;
    }
    std::string title = trimmedName(system::repairUTF8(*text));
    return title.empty() ? name : title;
}

bool isHiddenEntry(const std::filesystem::path& path) {
    return path.filename().string().starts_with(".");
}

}  // namespace

PlatformOutcome<std::vector<VdirCollection>> vdirCollections(const std::filesystem::path& root) {
    std::error_code error;
    const auto status = std::filesystem::status(root, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return std::vector<VdirCollection>{};
    }
    if (error || status.type() != std::filesystem::file_type::directory) {
        return PlatformError{"EventStore", 500, root.string() + " is not a folder"};
    }
    std::filesystem::directory_iterator entries(root, error);
    struct Sorted {
        std::string lowercasedTitle;
        VdirCollection collection;
    };
    std::vector<Sorted> sorted;
    // Stepping with an error code: a folder that changes while it is listed
    // ends the listing with an error instead of an exception.
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::filesystem::directory_entry& entry = *entries;
        std::error_code entryError;
        // is_directory follows a symbolic link, so a linked folder counts.
        if (isHiddenEntry(entry.path()) || !entry.is_directory(entryError)) {
            continue;
        }
        std::string name = system::repairUTF8(entry.path().filename().string());
        std::string title = titleOf(entry.path(), name);
        sorted.push_back({.lowercasedTitle = lowercased(title),
                          .collection = {.folder = entry.path(), .name = std::move(name), .title = std::move(title)}});
    }
    if (error) {
        return PlatformError{"EventStore", 500, "Cannot list the folder " + root.string() + ": " + error.message()};
    }
    std::sort(sorted.begin(), sorted.end(), [](const Sorted& left, const Sorted& right) {
        return std::tie(left.lowercasedTitle, left.collection.title, left.collection.folder) <
               std::tie(right.lowercasedTitle, right.collection.title, right.collection.folder);
    });
    std::vector<VdirCollection> collections;
    collections.reserve(sorted.size());
    for (Sorted& entry : sorted) {
        collections.push_back(std::move(entry.collection));
    }
    return collections;
}

PlatformOutcome<std::vector<std::filesystem::path>> vdirItemFiles(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator entries(folder, error);
         !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        if (!isHiddenEntry(entries->path()) && entries->path().extension() == ".ics") {
            files.push_back(entries->path());
        }
    }
    if (error) {
        return PlatformError{"EventStore", 500, "Cannot list the folder " + folder.string() + ": " + error.message()};
    }
    std::sort(files.begin(), files.end(), [](const std::filesystem::path& left, const std::filesystem::path& right) {
        return left.native() < right.native();
    });
    return files;
}

}  // namespace lumenary::platform
