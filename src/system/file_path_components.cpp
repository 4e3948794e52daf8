#include <algorithm>

#include "system/fatal_error.hpp"
#include "system/file_path.hpp"
#include "system/path_parsing.hpp"
#include "system/utf8.hpp"

namespace lumenary::system {

namespace {

// Each component followed by "/", the last "/" dropped.
std::string joined(const std::vector<FilePath::Component>& components) {
    std::string text;
    for (const auto& component : components) {
        text.append(component.bytes()).push_back('/');
    }
    if (!text.empty()) {
        text.pop_back();
    }
    return text;
}

FilePath::Root requireRoot(const char* literal) {
    auto root = FilePath::Root::fromText(literal);
    if (!root) {
        fatalError("FilePath.Root must be created from a root");
    }
    return *std::move(root);
}

FilePath::Component requireComponent(const char* literal) {
    auto component = FilePath::Component::fromText(literal);
    if (!component) {
        fatalError("FilePath.Component must be created from exactly one non-root component");
    }
    return *std::move(component);
}

}  // namespace

// The path ---------------------------------------------------------------

FilePath::FilePath(const std::optional<Root>& root, const std::vector<Component>& components) {
    std::string text = root ? std::string(root->bytes()) : std::string();
    text.append(joined(components));
    *this = FilePath(std::string_view(text));
}

std::optional<FilePath::Root> FilePath::root() const {
    if (!isAbsolute()) {
        return std::nullopt;
    }
    return Root(*this, 1);
}

void FilePath::setRoot(const std::optional<Root>& root) {
    const std::string_view replacement = root ? root->bytes() : std::string_view();
    if (bytes().substr(0, static_cast<std::size_t>(relativeStart())) == replacement) {
        return;
    }
    replaceCharacters(0, relativeStart(), replacement);
    normalizeSeparators();
}

FilePath FilePath::removingRoot() const {
    FilePath copy = *this;
    copy.setRoot(std::nullopt);
    return copy;
}

void FilePath::append(const Component& component) { append(std::vector<Component>{component}); }

void FilePath::append(const std::vector<Component>& components) {
    for (const auto& component : components) {
        const bool needsSeparator = !isEmpty() && bytes().back() != '/';
        std::string addition = needsSeparator ? "/" : "";
        addition.append(component.bytes());
        replaceCharacters(end(), end(), addition);
    }
}

FilePath FilePath::appending(const Component& component) const {
    FilePath copy = *this;
    copy.append(component);
    return copy;
}

FilePath FilePath::appending(const std::vector<Component>& components) const {
    FilePath copy = *this;
    copy.append(components);
    return copy;
}

FilePath::ComponentView FilePath::components() const { return ComponentView(*this, relativeStart()); }

void FilePath::setComponents(const ComponentView& components) {
    FilePath replacement = components.path_;
    replacement.setRoot(root());
    *this = std::move(replacement);
}

// Root -------------------------------------------------------------------

FilePath::Root::Root(const char* literal) : Root(requireRoot(literal)) {}

std::optional<FilePath::Root> FilePath::Root::fromText(std::string_view text) {
    FilePath path(text);
    if (path.bytes() != "/") {
        return std::nullopt;
    }
    return Root(std::move(path), 1);
}

std::optional<FilePath::Root> FilePath::Root::fromParts(FilePath path, std::ptrdiff_t rootEnd) {
    if (!path.isAbsolute() || rootEnd != path.relativeStart()) {
        return std::nullopt;
    }
    return Root(std::move(path), rootEnd);
}

std::string FilePath::Root::description() const { return repairUTF8(bytes()); }
std::string FilePath::Root::debugDescription() const { return quotedTextLiteral(description()); }
std::optional<std::string> FilePath::Root::validatedText() const {
    return isValidUTF8(bytes()) ? std::optional<std::string>(bytes()) : std::nullopt;
}

// Component --------------------------------------------------------------

FilePath::Component::Component(const char* literal) : Component(requireComponent(literal)) {}

std::optional<FilePath::Component> FilePath::Component::fromText(std::string_view text) {
    FilePath path(text);
    if (path.isEmpty() || path.isAbsolute() || path.bytes().find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::ptrdiff_t end = path.end();
    return Component(std::move(path), 0, end);
}

std::optional<FilePath::Component> FilePath::Component::fromParts(FilePath path, std::ptrdiff_t lower,
                                                                  std::ptrdiff_t upper) {
    const std::string_view characters = path.bytes();
    const bool startsAComponent =
        lower >= path.relativeStart() && lower < upper && upper <= path.end() &&
        (lower == path.relativeStart() || characters[static_cast<std::size_t>(lower - 1)] == '/');
    if (!startsAComponent || path_parsing::componentEnd(characters, lower) != upper) {
        return std::nullopt;
    }
    return Component(std::move(path), lower, upper);
}

FilePath::Component::Kind FilePath::Component::kind() const noexcept {
    if (path_parsing::isCurrentDirectory(bytes())) return Kind::currentDirectory;
    if (path_parsing::isParentDirectory(bytes())) return Kind::parentDirectory;
    return Kind::regular;
}

std::optional<std::size_t> FilePath::Component::extensionDot() const noexcept {
    if (kind() != Kind::regular) {
        return std::nullopt;
    }
    const std::size_t dot = bytes().rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return std::nullopt;
    }
    return dot;
}

std::optional<std::string> FilePath::Component::extension() const {
    const auto dot = extensionDot();
    if (!dot) {
        return std::nullopt;
    }
    return repairUTF8(bytes().substr(*dot + 1));
}

std::string FilePath::Component::stem() const {
    const auto dot = extensionDot();
    return repairUTF8(dot ? bytes().substr(0, *dot) : bytes());
}

std::string FilePath::Component::description() const { return repairUTF8(bytes()); }
std::string FilePath::Component::debugDescription() const { return quotedTextLiteral(description()); }
std::optional<std::string> FilePath::Component::validatedText() const {
    return isValidUTF8(bytes()) ? std::optional<std::string>(bytes()) : std::nullopt;
}

// ComponentView ----------------------------------------------------------

FilePath::ComponentView::ComponentView() : start_(0) {}

FilePath::ComponentView::ComponentView(const Component& repeating, std::ptrdiff_t count) : start_(0) {
    if (count < 0) {
        fatalError("FilePath.ComponentView: negative count");
    }
    path_ = FilePath(std::nullopt, std::vector<Component>(static_cast<std::size_t>(count), repeating));
}

std::optional<FilePath::ComponentView> FilePath::ComponentView::fromParts(FilePath path, std::ptrdiff_t start) {
    if (start != path.relativeStart()) {
        return std::nullopt;
    }
    return ComponentView(std::move(path), start);
}

void FilePath::ComponentView::requireIndex(Index index) const {
    if (index.offset() < start_ || index.offset() > path_.end()) {
        fatalError("FilePath.ComponentView index out of range");
    }
}

FilePath::ComponentView::Index FilePath::ComponentView::indexAfter(Index index) const {
    requireIndex(index);
    if (index == endIndex()) {
        fatalError("FilePath.ComponentView: cannot advance past endIndex");
    }
    return Index(path_parsing::nextComponentStart(path_.bytes(), index.offset()));
}

FilePath::ComponentView::Index FilePath::ComponentView::indexBefore(Index index) const {
    requireIndex(index);
    if (index == startIndex()) {
        fatalError("FilePath.ComponentView: cannot step before startIndex");
    }
    return Index(path_parsing::componentStartBefore(path_.bytes(), index.offset()));
}

FilePath::ComponentView::Index FilePath::ComponentView::index(Index from, std::ptrdiff_t offsetBy) const {
    for (; offsetBy > 0; --offsetBy) from = indexAfter(from);
    for (; offsetBy < 0; ++offsetBy) from = indexBefore(from);
    return from;
}

std::ptrdiff_t FilePath::ComponentView::distance(Index from, Index to) const {
    requireIndex(from);
    requireIndex(to);
    std::ptrdiff_t steps = 0;
    const bool backwards = to < from;
    for (Index index = backwards ? to : from; index < (backwards ? from : to); index = indexAfter(index)) {
        ++steps;
    }
    return backwards ? -steps : steps;
}

std::size_t FilePath::ComponentView::count() const {
    return static_cast<std::size_t>(distance(startIndex(), endIndex()));
}

FilePath::Component FilePath::ComponentView::operator[](Index index) const {
    requireIndex(index);
    if (index == endIndex()) {
        fatalError("FilePath.ComponentView index out of range");
    }
    return Component(path_, index.offset(), path_parsing::componentEnd(path_.bytes(), index.offset()));
}

std::vector<FilePath::Component> FilePath::ComponentView::subrange(Index lower, Index upper) const {
    requireIndex(lower);
    requireIndex(upper);
    std::vector<Component> components;
    for (Index index = lower; index < upper; index = indexAfter(index)) {
        components.push_back((*this)[index]);
    }
    return components;
}

void FilePath::ComponentView::replaceSubrange(Index lower, Index upper, const std::vector<Component>& components) {
    requireIndex(lower);
    requireIndex(upper);
    if (upper < lower) {
        fatalError("FilePath.ComponentView range out of bounds");
    }
    if (isEmpty()) {
        path_ = FilePath(path_.root(), components);
        start_ = path_.relativeStart();
        return;
    }
    const std::ptrdiff_t end = path_.end();
    if (components.empty()) {
        path_.replaceCharacters(lower.offset(), upper.offset(), {});
        if (upper.offset() == end) {
            path_.removeTrailingSeparator();
        }
        return;
    }
    std::string text = lower.offset() == end ? "/" : "";
    text.append(joined(components));
    if (upper.offset() < end) {
        text.push_back('/');
    }
    path_.replaceCharacters(lower.offset(), upper.offset(), text);
}

void FilePath::ComponentView::append(const Component& component) {
    replaceSubrange(endIndex(), endIndex(), {component});
}

void FilePath::ComponentView::append(const std::vector<Component>& components) {
    replaceSubrange(endIndex(), endIndex(), components);
}

void FilePath::ComponentView::insert(const Component& component, Index at) { replaceSubrange(at, at, {component}); }

void FilePath::ComponentView::insert(const std::vector<Component>& components, Index at) {
    replaceSubrange(at, at, components);
}

FilePath::Component FilePath::ComponentView::remove(Index at) {
    if (isEmpty()) {
        fatalError("Can't remove from an empty FilePath.ComponentView");
    }
    Component removed = (*this)[at];
    removeSubrange(at, indexAfter(at));
    return removed;
}

void FilePath::ComponentView::removeSubrange(Index lower, Index upper) { replaceSubrange(lower, upper, {}); }

FilePath::Component FilePath::ComponentView::removeFirst() { return remove(startIndex()); }

void FilePath::ComponentView::removeFirst(std::ptrdiff_t count) {
    if (count < 0) {
        fatalError("FilePath.ComponentView.removeFirst: negative count");
    }
    if (count == 0) {
        return;
    }
    removeSubrange(startIndex(), index(startIndex(), count));
}

void FilePath::ComponentView::removeAll(bool keepingCapacity) {
    if (!keepingCapacity) {
        *this = ComponentView();
        return;
    }
    removeSubrange(startIndex(), endIndex());
}

std::string FilePath::ComponentView::description() const { return repairUTF8(bytes()); }
std::string FilePath::ComponentView::debugDescription() const { return quotedTextLiteral(description()); }
std::optional<std::string> FilePath::ComponentView::validatedText() const {
    return isValidUTF8(bytes()) ? std::optional<std::string>(bytes()) : std::nullopt;
}

}  // namespace lumenary::system
