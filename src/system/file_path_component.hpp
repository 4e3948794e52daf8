#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// Read through system/file_path.hpp, which completes FilePath first.

namespace lumenary::system {

// One component of a path: a non-empty run of characters without "/". It is
// the path it was cut from plus a range, so taking one copies nothing.
class FilePath::Component {
public:
    enum class Kind { currentDirectory, parentDirectory, regular };

    // A literal that is not exactly one non-root component is a programming
    // error that stops the process; `fromText` answers absent instead.
    explicit Component(const char* literal);
    // "a" and "a/" give "a"; "", "/", "/a" and "a/b" give nothing.
    static std::optional<Component> fromText(std::string_view text);
    // From a coded form: absent unless lower ..< upper is exactly one whole
    // component of `path`.
    static std::optional<Component> fromParts(FilePath path, std::ptrdiff_t lower, std::ptrdiff_t upper);

    Kind kind() const noexcept;
    // After the last "." that is not the first character; absent for "." and
    // "..", and when there is no such ".".
    std::optional<std::string> extension() const;
    // Before that "."; the whole component otherwise.
    std::string stem() const;

    std::string_view bytes() const noexcept {
        return path_.bytes().substr(static_cast<std::size_t>(lower_), static_cast<std::size_t>(upper_ - lower_));
    }
    const FilePath& path() const noexcept { return path_; }
    std::pair<std::ptrdiff_t, std::ptrdiff_t> range() const noexcept { return {lower_, upper_}; }

    std::string description() const;
    std::string debugDescription() const;
    std::optional<std::string> validatedText() const;
    // The characters copied into their own NUL-terminated storage, lent for the call.
    template <typename Body>
    decltype(auto) withPlatformString(Body&& body) const {
        const SystemString copy = SystemString::fromText(bytes());
        return std::forward<Body>(body)(copy.platformString());
    }

    friend bool operator==(const Component& left, const Component& right) noexcept {
        return left.bytes() == right.bytes();
    }

private:
    friend class FilePath;
    friend class ComponentView;
    Component(FilePath path, std::ptrdiff_t lower, std::ptrdiff_t upper)
        : path_(std::move(path)), lower_(lower), upper_(upper) {}
    // Where the extension's "." is, when the component has one.
    std::optional<std::size_t> extensionDot() const noexcept;

    FilePath path_;
    std::ptrdiff_t lower_;
    std::ptrdiff_t upper_;
};

}  // namespace lumenary::system

template <>
struct std::hash<lumenary::system::FilePath::Component> {
    std::size_t operator()(const lumenary::system::FilePath::Component& component) const noexcept {
        return lumenary::system::hashPlatformCharacters(component.bytes());
    }
};
