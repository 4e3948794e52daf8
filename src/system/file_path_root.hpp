#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Read through system/file_path.hpp, which completes FilePath first.

namespace lumenary::system {

// The root of an absolute path: its leading "/". Shares the path's storage.
class FilePath::Root {
public:
    // A literal that is not a root is a programming error that stops the
    // process; `fromText` answers absent instead.
    explicit Root(const char* literal);
    // "/" and "//" give the root; "", "a" and "/a" give nothing.
    static std::optional<Root> fromText(std::string_view text);
    // From a coded form: absent unless `rootEnd` is the root of `path`.
    static std::optional<Root> fromParts(FilePath path, std::ptrdiff_t rootEnd);

    std::string_view bytes() const noexcept { return path_.bytes().substr(0, static_cast<std::size_t>(rootEnd_)); }
    const FilePath& path() const noexcept { return path_; }
    std::ptrdiff_t rootEnd() const noexcept { return rootEnd_; }

    std::string description() const;
    std::string debugDescription() const;
    std::optional<std::string> validatedText() const;
    // The characters copied into their own NUL-terminated storage, lent for the call.
    template <typename Body>
    decltype(auto) withPlatformString(Body&& body) const {
        const SystemString copy = SystemString::fromText(bytes());
        return std::forward<Body>(body)(copy.platformString());
    }

    friend bool operator==(const Root& left, const Root& right) noexcept { return left.bytes() == right.bytes(); }

private:
    friend class FilePath;
    Root(FilePath path, std::ptrdiff_t rootEnd) : path_(std::move(path)), rootEnd_(rootEnd) {}

    FilePath path_;
    std::ptrdiff_t rootEnd_;
};

}  // namespace lumenary::system

template <>
struct std::hash<lumenary::system::FilePath::Root> {
    std::size_t operator()(const lumenary::system::FilePath::Root& root) const noexcept {
        return lumenary::system::hashPlatformCharacters(root.bytes());
    }
};
