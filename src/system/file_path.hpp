#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "system/system_char.hpp"
#include "system/system_string.hpp"

namespace lumenary::system {

// A file-system path as raw platform characters, held in separator-normal
// form: no "//" anywhere and no trailing "/" except on the root "/" alone,
// so ways of writing one path that differ only in separators are one value.
// "/" is the only separator; a backslash is an ordinary byte. A name is any
// bytes but "/" and NUL, not necessarily UTF-8, and is never normalised
// otherwise (names differing only in Unicode normalisation are two files).
//
// Nothing here touches the file system or follows links; ".." is resolved
// against the text before it only.
class FilePath {
public:
    class Root;
    class Component;
    class ComponentView;

    // Construction, separator-normalised (file_path.cpp).
    FilePath();
    // The text up to its first NUL, if any.
    FilePath(std::string_view text);
    FilePath(const char* text) : FilePath(std::string_view(text)) {}
    FilePath(const std::string& text) : FilePath(std::string_view(text)) {}
    explicit FilePath(SystemString characters);
    static FilePath fromPlatformString(const char* platformString);
    // The characters before the array's first NUL; an array without one is a
    // programming error that stops the process.
    static FilePath fromPlatformString(std::span<const SystemChar> characters);
    // A single character lent as a C string: it must be the NUL.
    static FilePath fromPlatformString(const SystemChar& character);
    // The root's characters (when present) followed by the components, joined.
    FilePath(const std::optional<Root>& root, const std::vector<Component>& components);

    bool isEmpty() const noexcept { return storage_.isEmpty(); }
    // The characters, without the terminator.
    std::string_view bytes() const noexcept { return storage_.bytes(); }
    const SystemString& systemString() const noexcept { return storage_; }
    const char* platformString() const noexcept { return storage_.platformString(); }
    template <typename Body>
    decltype(auto) withPlatformString(Body&& body) const {
        return std::forward<Body>(body)(platformString());
    }

    // Appends the text as a relative path: a root in it is dropped, "" and
    // "/" change nothing, and an empty path takes the text whole.
    void append(std::string_view text);
    FilePath appending(std::string_view text) const;
    void removeAll(bool keepingCapacity);
    void reserveCapacity(std::size_t count);

    std::string description() const { return storage_.description(); }
    std::string debugDescription() const { return storage_.debugDescription(); }
    std::optional<std::string> validatedText() const { return storage_.validatedText(); }

    friend bool operator==(const FilePath& left, const FilePath& right) noexcept {
        return left.storage_ == right.storage_;
    }

    // Already separator-normal, as a decoded path must be.
    static bool isSeparatorNormal(const SystemString& characters);

    // Root and components (file_path_components.cpp).
    bool isAbsolute() const noexcept { return !isEmpty() && bytes().front() == '/'; }
    bool isRelative() const noexcept { return !isAbsolute(); }
    std::optional<Root> root() const;
    void setRoot(const std::optional<Root>& root);
    FilePath removingRoot() const;
    void append(const Component& component);
    void append(const std::vector<Component>& components);
    FilePath appending(const Component& component) const;
    FilePath appending(const std::vector<Component>& components) const;
    ComponentView components() const;
    // Takes the view's components and keeps this path's root.
    void setComponents(const ComponentView& components);
    template <typename Edit>
    void modifyComponents(Edit edit);

    // Lexical operations (file_path_lexical_operations.cpp).
    std::optional<Component> lastComponent() const;
    bool removeLastComponent();
    FilePath removingLastComponent() const;
    bool starts(const FilePath& with) const;
    bool ends(const FilePath& with) const;
    bool removePrefix(const FilePath& prefix);
    bool isLexicallyNormal() const;
    void lexicallyNormalize();
    FilePath lexicallyNormalized() const;
    // `subpath` below this path, or absent when it would climb out of it.
    std::optional<FilePath> lexicallyResolving(const FilePath& subpath) const;
    void push(const FilePath& other);
    FilePath pushing(const FilePath& other) const;
    std::optional<std::string> extension() const;
    std::optional<std::string> stem() const;
    // Replaces the last component's extension, or drops it when absent.
    // Text holding "/" or NUL is refused (false, the path unchanged); other
    // text is written as its UTF-8 bytes. Nothing changes for an empty path,
    // a root alone, "." or "..", which still answers true.
    bool setExtension(const std::optional<std::string_view>& extension);

private:
    friend class Root;
    friend class Component;
    friend class ComponentView;

    std::ptrdiff_t end() const noexcept { return static_cast<std::ptrdiff_t>(storage_.size()); }
    std::ptrdiff_t relativeStart() const noexcept { return isAbsolute() ? 1 : 0; }
    // Replaces characters lower ..< upper; `characters` never holds a NUL.
    void replaceCharacters(std::ptrdiff_t lower, std::ptrdiff_t upper, std::string_view characters);
    void removeTrailingSeparator();
    void normalizeSeparators();

    SystemString storage_;
};

}  // namespace lumenary::system

template <>
struct std::hash<lumenary::system::FilePath> {
    std::size_t operator()(const lumenary::system::FilePath& path) const noexcept {
        return lumenary::system::hashPlatformCharacters(path.bytes());
    }
};

// In this order: a component view builds paths from a root and components.
#include "system/file_path_root.hpp"
#include "system/file_path_component.hpp"
#include "system/file_path_component_view.hpp"

namespace lumenary::system {

template <typename Edit>
void FilePath::modifyComponents(Edit edit) {
    ComponentView view = components();
    edit(view);
    setComponents(view);
}

}  // namespace lumenary::system
