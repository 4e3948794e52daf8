#include "system/file_path.hpp"

#include <algorithm>
#include <cstring>

#include "system/fatal_error.hpp"
#include "system/path_parsing.hpp"

namespace lumenary::system {

namespace {

constexpr std::string_view notNullTerminated = "input of FilePath.init(platformString:) must be null-terminated";

}  // namespace

FilePath::FilePath() = default;

FilePath::FilePath(std::string_view text) : storage_(SystemString::fromText(text)) { normalizeSeparators(); }

FilePath::FilePath(SystemString characters) : storage_(std::move(characters)) { normalizeSeparators(); }

FilePath FilePath::fromPlatformString(const char* platformString) {
    return FilePath(SystemString::fromCString(platformString));
}

FilePath FilePath::fromPlatformString(std::span<const SystemChar> characters) {
    const auto terminator =
        std::find_if(characters.begin(), characters.end(), [](SystemChar character) { return character.isNUL(); });
    if (terminator == characters.end()) {
        fatalError(notNullTerminated);
    }
    return fromPlatformString(reinterpret_cast<const char*>(characters.data()));
}

FilePath FilePath::fromPlatformString(const SystemChar& character) {
    if (!character.isNUL()) {
        fatalError(notNullTerminated);
    }
    return FilePath();
}

// One forward pass that moves characters toward the start, dropping every
// "/" that follows another, then at most one trailing "/" unless the path is
// the root alone. Nothing is allocated.
void FilePath::normalizeSeparators() {
    if (storage_.isEmpty()) {
        return;
    }
    const std::string_view characters = bytes();
    const bool needsWork = characters.find("//") != std::string_view::npos ||
                           (characters.size() > 1 && characters.back() == '/');
    if (!needsWork) {
        return;
    }
    SystemString::Storage& storage = storage_.uniqueStorage();
    const std::size_t count = storage.size() - 1;
    std::size_t write = 0;
    std::size_t read = 0;
    while (read < count) {
        const SystemChar character = storage[read];
        storage[write++] = character;
        ++read;
        if (character.byte() == '/') {
            while (read < count && storage[read].byte() == '/') {
                ++read;
            }
        }
    }
    storage.erase(storage.begin() + static_cast<std::ptrdiff_t>(write), storage.end() - 1);
    removeTrailingSeparator();
}

void FilePath::removeTrailingSeparator() {
    const std::string_view characters = bytes();
    if (characters.size() > 1 && characters.back() == '/') {
        SystemString::Storage& storage = storage_.uniqueStorage();
        storage.erase(storage.end() - 2);
    }
}

void FilePath::replaceCharacters(std::ptrdiff_t lower, std::ptrdiff_t upper, std::string_view characters) {
    SystemString::Storage& storage = storage_.uniqueStorage();
    const auto first = storage.begin() + lower;
    const std::ptrdiff_t replaced = upper - lower;
    const auto added = static_cast<std::ptrdiff_t>(characters.size());
    if (replaced > added) {
        storage.erase(first + added, first + replaced);
    } else if (added > replaced) {
        storage.insert(first + replaced, static_cast<std::size_t>(added - replaced), SystemChar());
    }
    if (added > 0) {
        std::memcpy(storage.data() + lower, characters.data(), characters.size());
    }
}

bool FilePath::isSeparatorNormal(const SystemString& characters) {
    const std::string_view text = characters.bytes();
    if (text.find("//") != std::string_view::npos) {
        return false;
    }
    return text.size() <= 1 || text.back() != '/';
}

void FilePath::append(std::string_view text) {
    if (text.empty()) {
        return;
    }
    const FilePath other(text);
    if (isEmpty()) {
        *this = other;
        return;
    }
    const std::string_view relative = other.bytes().substr(static_cast<std::size_t>(other.relativeStart()));
    if (relative.empty()) {
        return;
    }
    std::string addition;
    addition.reserve(relative.size() + 1);
    if (bytes().back() != '/') {
        addition.push_back('/');
    }
    addition.append(relative);
    replaceCharacters(end(), end(), addition);
}

FilePath FilePath::appending(std::string_view text) const {
    FilePath copy = *this;
    copy.append(text);
    return copy;
}

void FilePath::removeAll(bool keepingCapacity) { storage_.removeAll(keepingCapacity); }

void FilePath::reserveCapacity(std::size_t count) { storage_.reserveCapacity(count); }

}  // namespace lumenary::system
