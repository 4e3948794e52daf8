#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "system/hasher.hpp"

// The hashing rules every typed message shares: fields in declaration order,
// an optional as a presence marker (0 or 1) before its value, a list or map
// as its count before its elements. The container overloads are declared
// before any is defined, so that lookup finds every one whatever the order of
// nesting (the hasher lives in another namespace, so argument lookup would
// not).
namespace lumenary::mcp {

template <typename T>
concept SelfHashing = requires(const T& value) {
    { value.hash() } -> std::convertible_to<std::size_t>;
};

template <typename T>
void hashField(system::Hasher& hasher, const std::optional<T>& optional) noexcept;
template <typename T>
void hashField(system::Hasher& hasher, const std::vector<T>& elements) noexcept;
template <typename T>
void hashField(system::Hasher& hasher, const std::map<std::string, T>& map) noexcept;

inline void hashField(system::Hasher& hasher, std::size_t word) noexcept {
    hasher.combine(std::uint64_t{word});
}
inline void hashField(system::Hasher& hasher, bool flag) noexcept {
    hasher.combine(flag ? 1U : 0U);
}
inline void hashField(system::Hasher& hasher, std::string_view text) noexcept {
    hasher.combine(text);
}
inline void hashField(system::Hasher& hasher, const std::string& text) noexcept {
    hasher.combine(std::string_view(text));
}

template <SelfHashing T>
void hashField(system::Hasher& hasher, const T& value) noexcept {
    hasher.combine(std::uint64_t{value.hash()});
}

template <typename T>
void hashField(system::Hasher& hasher, const std::optional<T>& optional) noexcept {
    hashField(hasher, optional.has_value());
    if (optional) {
        hashField(hasher, *optional);
    }
}

template <typename T>
void hashField(system::Hasher& hasher, const std::vector<T>& elements) noexcept {
    hashField(hasher, elements.size());
    for (const auto& element : elements) {
        hashField(hasher, element);
    }
}

template <typename T>
void hashField(system::Hasher& hasher, const std::map<std::string, T>& map) noexcept {
    hashField(hasher, map.size());
    for (const auto& [key, mapped] : map) {
        hashField(hasher, key);
        hashField(hasher, mapped);
    }
}

template <typename... Fields>
std::size_t hashFields(const Fields&... fields) noexcept {
    system::Hasher hasher;
    (hashField(hasher, fields), ...);
    return hasher.finalize();
}

}  // namespace lumenary::mcp
