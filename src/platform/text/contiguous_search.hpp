#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace lumenary::platform {

// Whether `pattern` stands in `text` as a contiguous run, compared element
// by element with ==, in time linear in both: the names it compares come
// from files and clients, and a plain search costs their product when they
// repeat themselves ("aaaa…ab" against "aaaa…a"). An empty pattern stands
// everywhere.
template <typename Element>
bool containsContiguous(std::span<const Element> text, std::span<const Element> pattern) {
    if (pattern.empty()) {
        return true;
    }
    if (pattern.size() > text.size()) {
        return false;
    }
    // For each length of a matched start of the pattern, the length of the
    // longest proper start of the pattern that also ends it.
    std::vector<std::size_t> fallback(pattern.size(), 0);
    for (std::size_t index = 1, length = 0; index < pattern.size(); ++index) {
        while (length > 0 && !(pattern[index] == pattern[length])) {
            length = fallback[length - 1];
        }
        if (pattern[index] == pattern[length]) {
            ++length;
        }
        fallback[index] = length;
    }
    std::size_t matched = 0;
    for (const Element& element : text) {
        while (matched > 0 && !(element == pattern[matched])) {
            matched = fallback[matched - 1];
        }
        if (element == pattern[matched]) {
            ++matched;
        }
        if (matched == pattern.size()) {
            return true;
        }
    }
    return false;
}

}  // namespace lumenary::platform
