#include "platform/applications/desktop_entry_path.hpp"

#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/applications/launched_desktop_entry.hpp"
#include "platform/defaults/home_directory.hpp"

namespace lumenary::platform {

namespace {

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The base directory rules ignore relative entries.
std::vector<std::filesystem::path> dataFolders() {
    std::vector<std::filesystem::path> folders;
    const std::filesystem::path home = environmentValue("XDG_DATA_HOME");
    folders.push_back(!home.empty() && home.is_absolute() ? home : homeDirectory() / ".local" / "share");
    std::string list = environmentValue("XDG_DATA_DIRS");
    if (list.empty()) {
        list = "/usr/local/share:/usr/share";
    }
    std::string_view rest = list;
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::filesystem::path folder(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (!folder.empty() && folder.is_absolute()) {
            folders.push_back(folder);
        }
    }
    return folders;
}

bool isPlainIdentifier(const std::string& identifier) {
    return identifier.size() > 8 && identifier.ends_with(".desktop") && identifier.find('/') == std::string::npos &&
           identifier.front() != '.' && identifier.find('\0') == std::string::npos;
}

}  // namespace

std::optional<std::filesystem::path> desktopEntryPath(const std::string& identifier) {
    if (!isPlainIdentifier(identifier)) {
        return std::nullopt;
    }
    for (const auto& folder : dataFolders()) {
        const auto applications = folder / "applications";
        std::error_code error;
        if (const auto direct = applications / identifier; std::filesystem::is_regular_file(direct, error)) {
            return direct;
        }
        // An id with "-" may name a file in a subfolder.
        if (identifier.find('-') == std::string::npos) {
            continue;
        }
        std::filesystem::recursive_directory_iterator walk(applications, error);
        for (; !error && walk != std::filesystem::recursive_directory_iterator(); walk.increment(error)) {
            const auto& path = walk->path();
            if (path.extension() == ".desktop" && desktopEntryIdentifier(path.string()) == identifier &&
                walk->is_regular_file(error)) {
                return path;
            }
        }
    }
    return std::nullopt;
}

}  // namespace lumenary::platform
