#include "platform/applications/default_link_handler.hpp"

#include <cstdlib>
#include <string_view>

#include "platform/applications/desktop_entry_path.hpp"
#include "platform/applications/xdg_mime.hpp"
#include "platform/music/file_uri.hpp"

namespace lumenary::platform {

namespace {

bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

bool isSchemeCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '.' ||
           c == '-';
}

// "mailto" of "mailto:ada@example.org"; empty for a path.
std::string_view schemeOf(std::string_view link) {
    const auto colon = link.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return {};
    }
    const auto scheme = link.substr(0, colon);
    for (const char c : scheme) {
        if (!isSchemeCharacter(c)) {
            return {};
        }
    }
    return scheme;
}

// The local file a link names: a file: link's path, or the link itself
// when it has no scheme.
std::optional<std::string> fileOf(const std::string& link, std::string_view scheme) {
    if (scheme.empty()) {
        return link;
    }
    if (scheme == "file") {
        return pathOfFileUri(link);
    }
    return std::nullopt;
}

// The default for `mimeType`, when its desktop file is there to start.
std::optional<std::string> startableDefault(const std::string& mimeType) {
    auto identifier = xdgMimeDefault(mimeType);
    if (!identifier || !identifier.value() || !desktopEntryPath(*identifier.value())) {
        return std::nullopt;
    }
    return std::move(identifier).value();
}

}  // namespace

std::optional<std::string> defaultLinkHandler(const std::string& link) {
    if (!hasDisplay()) {
        return std::nullopt;
    }
    const auto scheme = schemeOf(link);
    if (const auto file = fileOf(link, scheme)) {
        const auto type = xdgMimeFileType(*file);
        if (type && type.value()) {
            if (auto handler = startableDefault(*type.value())) {
                return handler;
            }
        }
    }
    if (scheme.empty()) {
        return std::nullopt;
    }
    return startableDefault("x-scheme-handler/" + std::string(scheme));
}

}  // namespace lumenary::platform
