#include "platform/desktop/borrowed_keys.hpp"

#include <algorithm>

namespace lumenary::platform {

const BorrowedKeys::Key* BorrowedKeys::find(int code) const {
    const auto found = std::find_if(keys_.begin(), keys_.end(), [code](const Key& key) { return key.code == code; });
    return found == keys_.end() ? nullptr : &*found;
}

BorrowedKeys::Key* BorrowedKeys::findKey(int code) {
    return const_cast<Key*>(std::as_const(*this).find(code));
}

std::optional<BorrowedKeys::Level> BorrowedKeys::nextLevel() const {
    std::optional<Level> chosen;
    for (const Key& key : keys_) {
        for (int level = 0; level < 2; ++level) {
            const auto& last = key.lastPressed[static_cast<std::size_t>(level)];
            const Level candidate{.code = key.code,
                                  .level = level,
                                  .pressed = last.has_value(),
                                  .freeFrom = last ? *last + hold : Clock::time_point{}};
            if (!chosen || (chosen->pressed && !candidate.pressed) ||
                (chosen->pressed == candidate.pressed && candidate.freeFrom < chosen->freeFrom)) {
                chosen = candidate;
            }
        }
    }
    return chosen;
}

BorrowedKeys::Clock::time_point BorrowedKeys::freeFrom(const Key& key) {
    Clock::time_point latest{};
    for (const auto& last : key.lastPressed) {
        if (last) {
            latest = std::max(latest, *last + hold);
        }
    }
    return latest;
}

void BorrowedKeys::add(int code, KeySymbol symbol) {
    remove(code);
    keys_.push_back(Key{.code = code, .symbols = {symbol, symbol}, .lastPressed = {}});
}

std::array<KeySymbol, 2> BorrowedKeys::assign(int code, int level, KeySymbol symbol) {
    Key* key = findKey(code);
    if (key == nullptr) {
        return {};
    }
    const auto index = static_cast<std::size_t>(level);
    key->symbols[index] = symbol;
    key->lastPressed[index].reset();
    if (level == 0 && !key->lastPressed[1]) {
        key->symbols[1] = symbol;
    }
    return key->symbols;
}

void BorrowedKeys::pressed(int code, int level, Clock::time_point when) {
    if (Key* key = findKey(code)) {
        key->lastPressed[static_cast<std::size_t>(level)] = when;
    }
}

void BorrowedKeys::remove(int code) {
    std::erase_if(keys_, [code](const Key& key) { return key.code == code; });
}

}  // namespace lumenary::platform
