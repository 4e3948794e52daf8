#pragma once

#include <X11/Xlib.h>

#include <array>
#include <optional>
#include <set>
#include <vector>

#include "platform/desktop/borrowed_key_record.hpp"

namespace lumenary::platform {

// The core keyboard map of one X display, as read from the server, with
// the changes this process makes to it. Included by the desktop layer's
// sources only: it brings Xlib's macros with it.
class KeyboardMap {
public:
    explicit KeyboardMap(Display* display);

    // Reads the whole map again, as other clients may have changed it.
    void reload();

    struct Key {
        int code = 0;
        // 0 without a modifier, 1 with Shift.
        int level = 0;
    };

    // The key, not in `excluded`, that gives `symbol` without a modifier or
    // with Shift.
    std::optional<Key> find(KeySymbol symbol, const std::set<int>& excluded) const;

    // A key with nothing mapped to it and not in `taken`, from the top of
    // the range, where keyboards leave keys free.
    std::optional<int> spare(const std::set<int>& taken) const;

    // What the key gives without a modifier and with Shift.
    std::array<KeySymbol, 2> levels(int code) const;

    // Maps `symbols` to the key's two levels, or nothing at all to it
    // without them, and answers whether the server now holds that.
    bool change(int code, const std::optional<std::array<KeySymbol, 2>>& symbols);

private:
    KeySymbol symbol(int code, int level) const;

    Display* display_;
    int minimum_ = 0;
    int maximum_ = -1;
    int perKeycode_ = 0;
    std::vector<KeySym> symbols_;
};

}  // namespace lumenary::platform
