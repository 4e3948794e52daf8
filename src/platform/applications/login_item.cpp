#include "platform/applications/login_item.hpp"

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <system_error>
#include <utility>

#include "platform/defaults/config_directory.hpp"
#include "platform/files/bounded_file_reader.hpp"
#include "platform/files/durable_temporary_file.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view loginItemDomain = "LoginItem";
constexpr std::string_view entryGroup = "[Desktop Entry]";
// Tells an entry of ours from one of the same name another program or the
// user put there, which unregistering leaves alone.
constexpr std::string_view ownerKey = "X-Lumenary-Login-Item";
// Far beyond any autostart entry; a larger file is not read.
constexpr std::uintmax_t entryByteLimit = 1024 * 1024;

PlatformError loginItemFailure(int errorNumber, std::string description) {
    return PlatformError{
        .domain = std::string(loginItemDomain), .code = errorNumber, .description = std::move(description)};
}

std::string loginItemErrnoText(int errorNumber) {
    return std::error_code(errorNumber, std::generic_category()).message();
}

// A string value's escapes: a backslash stands for itself only doubled, and
// readers trim spaces at either end of a value unless they are written \s.
std::string escapedStringValue(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    std::string escaped;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ' && (i < first || first == std::string_view::npos || i > last)) {
            escaped += "\\s";
            continue;
        }
        if (text[i] == '\\') {
            escaped += '\\';
        }
        escaped += text[i];
    }
    return escaped;
}

std::string unescapedStringValue(std::string_view text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        switch (const char next = text[++i]) {
            case 's': plain += ' '; break;
            case 'n': plain += '\n'; break;
            case 't': plain += '\t'; break;
            case 'r': plain += '\r'; break;
            case '\\': plain += '\\'; break;
            default: plain += '\\'; plain += next;
        }
    }
    return plain;
}

// One argument of an Exec line, quoted so that the launcher hands it over
// unchanged whatever it holds; the string value's escapes come on top.
std::string quotedExecArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        if (c == '%') {
            quoted += '%';
        }
        quoted += c;
    }
    quoted += '"';
    return escapedStringValue(quoted);
}

std::string_view trimmedEntryText(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The keys of the entry's main group with their unescaped values.
std::map<std::string, std::string, std::less<>> mainGroupKeys(std::string_view text) {
    std::map<std::string, std::string, std::less<>> keys;
    bool inMainGroup = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.starts_with('[')) {
            inMainGroup = line == entryGroup;
            continue;
        }
        const auto equals = line.find('=');
        if (!inMainGroup || line.starts_with('#') || equals == std::string_view::npos) {
            continue;
        }
        // The first occurrence wins, as it does for the desktop's reader.
        keys.emplace(std::string(trimmedEntryText(line.substr(0, equals))),
                     unescapedStringValue(trimmedEntryText(line.substr(equals + 1))));
    }
    return keys;
}

bool isExecutableProgram(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// A bare program name is looked up the way the launcher would, along PATH.
bool namesExecutableFile(const std::string& program) {
    if (program.empty()) {
        return false;
    }
    if (program.find('/') != std::string::npos) {
        return isExecutableProgram(program);
    }
    const char* searchPath = std::getenv("PATH");
    std::string_view folders = searchPath ? searchPath : "";
    while (!folders.empty()) {
        const auto colon = folders.find(':');
        const auto folder = folders.substr(0, colon);
        folders = colon == std::string_view::npos ? std::string_view{} : folders.substr(colon + 1);
        if (!folder.empty() && isExecutableProgram(std::string(folder) + "/" + program)) {
            return true;
        }
    }
    return false;
}

bool isValue(const std::map<std::string, std::string, std::less<>>& keys, std::string_view key,
             std::string_view value) {
    const auto found = keys.find(key);
    return found != keys.end() && found->second == value;
}

bool startsAtLogin(const std::map<std::string, std::string, std::less<>>& keys) {
    const auto tryExec = keys.find("TryExec");
    return tryExec != keys.end() && namesExecutableFile(tryExec->second) && !isValue(keys, "Hidden", "true") &&
           !isValue(keys, "X-GNOME-Autostart-enabled", "false");
}

}  // namespace

PlatformOutcome<std::string> loginItemEntryText(std::string_view executablePath) {
    const auto refused = [&](std::string_view why) {
        return loginItemFailure(
            0, "launch at login cannot start " + std::string(executablePath) + ": " + std::string(why));
    };
    if (!executablePath.starts_with('/')) {
        return refused("the path is not absolute");
    }
    if (!system::isValidUTF8(executablePath)) {
        return refused("the path is not UTF-8, which an autostart entry cannot hold");
    }
    for (const char c : executablePath) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return refused(
                "the path holds a control character such as a line feed, which an autostart entry "
                "cannot hold");
        }
    }
    std::string text(entryGroup);
    text += "\nType=Application\nName=Lumenary\nExec=";
    text += quotedExecArgument(executablePath);
    text += "\nTryExec=";
    text += escapedStringValue(executablePath);
    text += '\n';
    text += ownerKey;
    text += "=true\n";
    return text;
}

LoginItem::LoginItem() : LoginItem(userEntryPath(), runningExecutablePath) {}

LoginItem::LoginItem(fs::path entryPath, ExecutablePathSource executablePath)
    : entryPath_(std::move(entryPath)), executablePath_(std::move(executablePath)) {}

fs::path LoginItem::userEntryPath() {
    return userConfigHome() / "autostart" / "lumenary.desktop";
}

bool LoginItem::isRegistered() const {
    const auto text = readBoundedFile(entryPath_, entryByteLimit, std::string(loginItemDomain));
    return text && startsAtLogin(mainGroupKeys(text.value()));
}

std::optional<PlatformError> LoginItem::registerItem() const {
    const auto executable = executablePath_();
    if (const auto* stale = std::get_if<StaleExecutablePath>(&executable)) {
        return loginItemFailure(0, "launch at login cannot name this program: " + stale->description);
    }
    auto text = loginItemEntryText(std::get<std::string>(executable));
    if (!text) {
        return text.error();
    }
    const fs::path folder = entryPath_.parent_path();
    std::error_code folderError;
    fs::create_directories(folder, folderError);
    if (folderError) {
        return loginItemFailure(folderError.value(),
                                "cannot create the autostart folder " + folder.string() + ": " + folderError.message());
    }
    // Written beside the entry and renamed over it, so a reader sees the old
    // entry or the whole new one.
    const auto temporary = writeDurableTemporaryFile((folder / ".lumenary.desktop-XXXXXX").string(), text.value());
    if (temporary.errorNumber != 0) {
        return loginItemFailure(temporary.errorNumber, "cannot write the autostart entry in " + folder.string() + ": " +
                                                           loginItemErrnoText(temporary.errorNumber));
    }
    if (::rename(temporary.path.c_str(), entryPath_.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.path.c_str());
        return loginItemFailure(
            error, "cannot put the autostart entry at " + entryPath_.string() + ": " + loginItemErrnoText(error));
    }
    syncFolder(folder);
    return std::nullopt;
}

std::optional<PlatformError> LoginItem::unregisterItem() const {
    std::error_code statusError;
    const auto status = fs::symlink_status(entryPath_, statusError);
    if (status.type() == fs::file_type::not_found) {
        return std::nullopt;
    }
    if (statusError) {
        return loginItemFailure(statusError.value(), "cannot look at the autostart entry " + entryPath_.string() +
                                                         ": " + statusError.message());
    }
    const auto text = readBoundedFile(entryPath_, entryByteLimit, std::string(loginItemDomain));
    if (!text) {
        return text.error();
    }
    const auto keys = mainGroupKeys(text.value());
    if (!isValue(keys, ownerKey, "true")) {
        if (!startsAtLogin(keys)) {
            return std::nullopt;
        }
        return loginItemFailure(EEXIST,
                                "the autostart entry " + entryPath_.string() +
                                    " was not written by Lumenary and is left in place; it still starts at login");
    }
    if (::unlink(entryPath_.c_str()) != 0 && errno != ENOENT) {
        const int error = errno;
        return loginItemFailure(
            error, "cannot remove the autostart entry " + entryPath_.string() + ": " + loginItemErrnoText(error));
    }
    syncFolder(entryPath_.parent_path());
    return std::nullopt;
}

}  // namespace lumenary::platform
