#include "platform/desktop/keyboard_map.hpp"

#include <algorithm>

namespace lumenary::platform {

KeyboardMap::KeyboardMap(Display* display) : display_(display) {
    XDisplayKeycodes(display_, &minimum_, &maximum_);
    reload();
}

void KeyboardMap::reload() {
    int perKeycode = 0;
    KeySym* symbols =
        XGetKeyboardMapping(display_, static_cast<KeyCode>(minimum_), maximum_ - minimum_ + 1, &perKeycode);
    symbols_.clear();
    perKeycode_ = 0;
    if (symbols != nullptr) {
        perKeycode_ = perKeycode;
        symbols_.assign(symbols, symbols + (maximum_ - minimum_ + 1) * perKeycode_);
        XFree(symbols);
    }
}

KeySymbol KeyboardMap::symbol(int code, int level) const {
    if (code < minimum_ || code > maximum_ || level >= perKeycode_) {
        return NoSymbol;
    }
    return static_cast<KeySymbol>(symbols_[static_cast<std::size_t>((code - minimum_) * perKeycode_ + level)]);
}

std::optional<KeyboardMap::Key> KeyboardMap::find(KeySymbol wanted, const std::set<int>& excluded) const {
    for (int level = 0; level < 2; ++level) {
        for (int code = minimum_; code <= maximum_; ++code) {
            if (symbol(code, level) == wanted && !excluded.contains(code)) {
                return Key{.code = code, .level = level};
            }
        }
    }
    return std::nullopt;
}

std::optional<int> KeyboardMap::spare(const std::set<int>& taken) const {
    if (perKeycode_ == 0) {
        return std::nullopt;
    }
    for (int code = maximum_; code >= minimum_; --code) {
        bool free = !taken.contains(code);
        for (int level = 0; level < perKeycode_ && free; ++level) {
            free = symbol(code, level) == NoSymbol;
        }
        if (free) {
            return code;
        }
    }
    return std::nullopt;
}

std::array<KeySymbol, 2> KeyboardMap::levels(int code) const {
    return {symbol(code, 0), symbol(code, 1)};
}

bool KeyboardMap::change(int code, const std::optional<std::array<KeySymbol, 2>>& symbols) {
    if (perKeycode_ < 2 || code < minimum_ || code > maximum_) {
        return false;
    }
    std::vector<KeySym> row(static_cast<std::size_t>(perKeycode_), NoSymbol);
    if (symbols) {
        row[0] = (*symbols)[0];
        row[1] = (*symbols)[1];
    }
    XChangeKeyboardMapping(display_, code, perKeycode_, row.data(), 1);
    // The server answers what it made of the change: a refused one (the
    // error handler only notes it) leaves the old row.
    int perKeycode = 0;
    KeySym* stored = XGetKeyboardMapping(display_, static_cast<KeyCode>(code), 1, &perKeycode);
    if (stored == nullptr) {
        return false;
    }
    const auto offset = static_cast<std::ptrdiff_t>((code - minimum_) * perKeycode_);
    std::fill_n(symbols_.begin() + offset, perKeycode_, NoSymbol);
    std::copy_n(stored, std::min(perKeycode, perKeycode_), symbols_.begin() + offset);
    XFree(stored);
    if (symbols) {
        return levels(code) == *symbols;
    }
    return std::all_of(symbols_.begin() + offset, symbols_.begin() + offset + perKeycode_,
                       [](KeySym kept) { return kept == NoSymbol; });
}

}  // namespace lumenary::platform
