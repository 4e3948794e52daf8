#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <vector>

#include "platform/desktop/borrowed_key_record.hpp"

namespace lumenary::platform {

// The keys this process has taken from those the keyboard map leaves empty,
// each mapped to two characters the map had no key for: one typed plainly
// (level 0), one with Shift (level 1). A key is first given one character
// on both levels, so that a Shift held by the person changes nothing; its
// shifted level takes the next character that needs a key.
//
// A client reads the keyboard map again only when it handles the key press
// that follows a change, which on a busy machine comes well after the press
// was made: a level keeps its character at least `hold` after its last
// press before it is given another one, and a key is given back no sooner.
class BorrowedKeys {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds hold{500};

    struct Key {
        int code = 0;
        std::array<KeySymbol, 2> symbols{};
        // Absent for a level not pressed since it was given its character.
        std::array<std::optional<Clock::time_point>, 2> lastPressed;
    };

    // A level of one of the keys, and from when it may take a new character.
    struct Level {
        int code = 0;
        int level = 0;
        bool pressed = false;
        Clock::time_point freeFrom;
    };

    const std::vector<Key>& keys() const noexcept { return keys_; }
    const Key* find(int code) const;

    // The level to give the next character: one not pressed since it was
    // given its character (free at once) before any other, else the one
    // pressed longest ago. Nothing while no key is held.
    std::optional<Level> nextLevel() const;

    // When the last press of `key` has had its hold.
    static Clock::time_point freeFrom(const Key& key);

    // A key newly taken for `symbol`, on both levels.
    void add(int code, KeySymbol symbol);
    // Gives `symbol` to one level of a held key and answers what the key's
    // two levels hold now: a plain level given a new character takes the
    // shifted one with it while that was never pressed.
    std::array<KeySymbol, 2> assign(int code, int level, KeySymbol symbol);
    void pressed(int code, int level, Clock::time_point when);
    void remove(int code);

private:
    Key* findKey(int code);

    std::vector<Key> keys_;
};

}  // namespace lumenary::platform
