#include "system/file_path.hpp"
#include "system/path_parsing.hpp"

namespace lumenary::system {

namespace {

// Walks `prefix`'s components against `path`'s from their starts. Where
// `path`'s next unmatched component starts when all of `prefix`'s matched.
std::optional<std::ptrdiff_t> afterMatchingComponents(std::string_view path, std::string_view prefix) {
    std::ptrdiff_t pathIndex = path_parsing::relativeStart(path);
    std::ptrdiff_t prefixIndex = path_parsing::relativeStart(prefix);
    while (prefixIndex < path_parsing::length(prefix)) {
        if (pathIndex >= path_parsing::length(path) ||
            path_parsing::componentAt(path, pathIndex) != path_parsing::componentAt(prefix, prefixIndex)) {
            return std::nullopt;
        }
        pathIndex = path_parsing::nextComponentStart(path, pathIndex);
        prefixIndex = path_parsing::nextComponentStart(prefix, prefixIndex);
    }
    return pathIndex;
}

}  // namespace

std::optional<FilePath::Component> FilePath::lastComponent() const {
    if (end() == relativeStart()) {
        return std::nullopt;
    }
    return Component(*this, path_parsing::componentStartBefore(bytes(), end()), end());
}

bool FilePath::removeLastComponent() {
    if (end() == relativeStart()) {
        return false;
    }
    replaceCharacters(path_parsing::componentStartBefore(bytes(), end()), end(), {});
    removeTrailingSeparator();
    return true;
}

FilePath FilePath::removingLastComponent() const {
    FilePath copy = *this;
    copy.removeLastComponent();
    return copy;
}

bool FilePath::starts(const FilePath& with) const {
    if (with.isEmpty()) {
        return true;
    }
    if (isAbsolute() != with.isAbsolute()) {
        return false;
    }
    return afterMatchingComponents(bytes(), with.bytes()).has_value();
}

bool FilePath::ends(const FilePath& with) const {
    if (with.isAbsolute()) {
        return *this == with;
    }
    const std::string_view path = bytes();
    const std::string_view suffix = with.bytes();
    std::ptrdiff_t pathIndex = end();
    std::ptrdiff_t suffixIndex = with.end();
    while (suffixIndex > with.relativeStart()) {
        if (pathIndex <= relativeStart()) {
            return false;
        }
        pathIndex = path_parsing::componentStartBefore(path, pathIndex);
        suffixIndex = path_parsing::componentStartBefore(suffix, suffixIndex);
        if (path_parsing::componentAt(path, pathIndex) != path_parsing::componentAt(suffix, suffixIndex)) {
            return false;
        }
    }
    return true;
}

bool FilePath::removePrefix(const FilePath& prefix) {
    if (isAbsolute() != prefix.isAbsolute()) {
        return false;
    }
    const auto matchedEnd = afterMatchingComponents(bytes(), prefix.bytes());
    if (!matchedEnd) {
        return false;
    }
    replaceCharacters(0, *matchedEnd, {});
    return true;
}

bool FilePath::isLexicallyNormal() const {
    const std::string_view path = bytes();
    std::ptrdiff_t index = relativeStart();
    if (isRelative()) {
        while (index < end() && path_parsing::isParentDirectory(path_parsing::componentAt(path, index))) {
            index = path_parsing::nextComponentStart(path, index);
        }
    }
    for (; index < end(); index = path_parsing::nextComponentStart(path, index)) {
        const std::string_view component = path_parsing::componentAt(path, index);
        if (path_parsing::isCurrentDirectory(component) || path_parsing::isParentDirectory(component)) {
            return false;
        }
    }
    return true;
}

// One forward pass: kept components move down to the write position, "."
// goes, ".." cancels the kept component before it (or goes at the root, or
// stays at the front of a relative path). Nothing is allocated.
void FilePath::lexicallyNormalize() {
    if (isLexicallyNormal()) {
        return;
    }
    SystemString::Storage& storage = storage_.uniqueStorage();
    char* characters = reinterpret_cast<char*>(storage.data());
    const std::string_view path(characters, storage.size() - 1);
    const std::ptrdiff_t start = relativeStart();
    const std::ptrdiff_t pathEnd = end();
    std::ptrdiff_t write = start;
    std::ptrdiff_t read = start;
    while (read < pathEnd) {
        const std::ptrdiff_t next = path_parsing::nextComponentStart(path, read);
        const std::string_view component = path_parsing::componentAt(path, read);
        if (path_parsing::isCurrentDirectory(component)) {
            read = next;
            continue;
        }
        if (path_parsing::isParentDirectory(component)) {
            if (isAbsolute() && write == start) {
                read = next;
                continue;
            }
            if (write > start) {
                const std::ptrdiff_t previous = path_parsing::componentStartBefore(path, write);
                if (!path_parsing::isParentDirectory(path_parsing::componentAt(path, previous))) {
                    write = previous;
                    read = next;
                    continue;
                }
            }
        }
        if (read != write) {
            std::copy(characters + read, characters + next, characters + write);
        }
        write += next - read;
        read = next;
    }
    if (write == read) {
        return;
    }
    replaceCharacters(write, pathEnd, {});
    removeTrailingSeparator();
}

FilePath FilePath::lexicallyNormalized() const {
    FilePath copy = *this;
    copy.lexicallyNormalize();
    return copy;
}

std::optional<FilePath> FilePath::lexicallyResolving(const FilePath& subpath) const {
    const FilePath relative = subpath.removingRoot().lexicallyNormalized();
    if (relative.isEmpty()) {
        return *this;
    }
    if (path_parsing::isParentDirectory(path_parsing::componentAt(relative.bytes(), 0))) {
        return std::nullopt;
    }
    return pushing(relative);
}

void FilePath::push(const FilePath& other) {
    if (other.isAbsolute()) {
        *this = other;
        return;
    }
    if (other.isEmpty()) {
        return;
    }
    std::string addition = !isEmpty() && bytes().back() != '/' ? "/" : "";
    addition.append(other.bytes());
    replaceCharacters(end(), end(), addition);
}

FilePath FilePath::pushing(const FilePath& other) const {
    FilePath copy = *this;
    copy.push(other);
    return copy;
}

std::optional<std::string> FilePath::extension() const {
    const auto last = lastComponent();
    return last ? last->extension() : std::nullopt;
}

std::optional<std::string> FilePath::stem() const {
    const auto last = lastComponent();
    return last ? std::optional<std::string>(last->stem()) : std::nullopt;
}

bool FilePath::setExtension(const std::optional<std::string_view>& extension) {
    // Either would break the path into other components or end it early.
    if (extension && extension->find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
        return false;
    }
    const auto last = lastComponent();
    if (!last || last->kind() != Component::Kind::regular) {
        return true;
    }
    const auto [lower, upper] = last->range();
    const auto dot = last->extensionDot();
    const std::ptrdiff_t replacedFrom = dot ? lower + static_cast<std::ptrdiff_t>(*dot) : upper;
    std::string suffix;
    if (extension) {
        suffix.append(".").append(*extension);
    }
    replaceCharacters(replacedFrom, upper, suffix);
    return true;
}

}  // namespace lumenary::system
