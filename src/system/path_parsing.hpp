#pragma once

#include <cstddef>
#include <string_view>

// Component positions in a separator-normal path's characters, shared by the
// path's component and lexical operations. Offsets count characters; `end`
// is the length.
namespace lumenary::system::path_parsing {

inline std::ptrdiff_t length(std::string_view bytes) noexcept { return static_cast<std::ptrdiff_t>(bytes.size()); }

// 1 after a leading "/", else 0; components start there.
inline std::ptrdiff_t relativeStart(std::string_view bytes) noexcept {
    return !bytes.empty() && bytes.front() == '/' ? 1 : 0;
}

// The end of the component starting at `start`: its "/" or the path's end.
inline std::ptrdiff_t componentEnd(std::string_view bytes, std::ptrdiff_t start) noexcept {
    const auto slash = bytes.find('/', static_cast<std::size_t>(start));
    return slash == std::string_view::npos ? length(bytes) : static_cast<std::ptrdiff_t>(slash);
}

// Where the component after the one starting at `start` begins, or the end.
inline std::ptrdiff_t nextComponentStart(std::string_view bytes, std::ptrdiff_t start) noexcept {
    const std::ptrdiff_t end = componentEnd(bytes, start);
    return end < length(bytes) ? end + 1 : end;
}

// The start of the component before `index` (a component's start or the end).
inline std::ptrdiff_t componentStartBefore(std::string_view bytes, std::ptrdiff_t index) noexcept {
    const std::ptrdiff_t first = relativeStart(bytes);
    std::ptrdiff_t position = index < length(bytes) ? index - 1 : index;
    while (position > first && bytes[static_cast<std::size_t>(position - 1)] != '/') {
        --position;
    }
    return position;
}

inline std::string_view componentAt(std::string_view bytes, std::ptrdiff_t start) noexcept {
    return bytes.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(componentEnd(bytes, start) - start));
}

inline bool isCurrentDirectory(std::string_view component) noexcept { return component == "."; }
inline bool isParentDirectory(std::string_view component) noexcept { return component == ".."; }

}  // namespace lumenary::system::path_parsing
