#include "platform/applications/launched_desktop_entry.hpp"

#include <fstream>
#include <string_view>

namespace lumenary::platform {

namespace {

constexpr std::string_view launchedFileVariable = "GIO_LAUNCHED_DESKTOP_FILE=";
// An environment larger than this is not read to its end.
constexpr std::size_t environmentLimit = 1024 * 1024;

}  // namespace

std::string desktopEntryIdentifier(const std::string& path) {
    constexpr std::string_view applications = "/applications/";
    const auto folder = path.rfind(applications);
    if (folder == std::string::npos) {
        const auto slash = path.rfind('/');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }
    std::string identifier = path.substr(folder + applications.size());
    for (char& character : identifier) {
        if (character == '/') {
            character = '-';
        }
    }
    return identifier;
}

std::string launchedDesktopEntryIdentifier(pid_t pid) {
    if (pid <= 0) {
        return {};
    }
    std::ifstream file("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
    // Entries are NUL-separated.
    std::string entry;
    std::size_t read = 0;
    while (read < environmentLimit && std::getline(file, entry, '\0')) {
        read += entry.size() + 1;
        if (std::string_view(entry).starts_with(launchedFileVariable)) {
            const std::string path = entry.substr(launchedFileVariable.size());
            return path.empty() ? std::string() : desktopEntryIdentifier(path);
        }
    }
    return {};
}

}  // namespace lumenary::platform
