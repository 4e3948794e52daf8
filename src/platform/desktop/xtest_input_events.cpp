#include "platform/desktop/xtest_input_events.hpp"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/desktop/x_display.hpp"

namespace lumenary::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds buttonHold{10};
constexpr std::chrono::milliseconds keyPause{5};
// A client reads the keyboard map again only when it handles the key that
// follows a mapping change, which on a busy machine comes well after the
// press: a key borrowed for a character keeps it at least this long after
// its last press before it is given another one or freed.
constexpr std::chrono::milliseconds borrowedKeyHold{500};

// The keysym that types `point`, or NoSymbol for one no key types.
KeySym keysymFor(char32_t point) {
    switch (point) {
        case U'\n':
        case U'\r': return XK_Return;
        case U'\t': return XK_Tab;
        case U'\b': return XK_BackSpace;
        case 0x1B: return XK_Escape;
        case 0x7F: return XK_Delete;
        default: break;
    }
    if (point < 0x20 || (point >= 0x80 && point < 0xA0) || point > 0x10FFFF) {
        return NoSymbol;
    }
    // Latin-1 keysyms are the code points themselves; every other
    // character has the Unicode keysym form.
    if (point <= 0xFF) {
        return static_cast<KeySym>(point);
    }
    return static_cast<KeySym>(0x01000000 | point);
}

// The core keyboard map as the server has it when typing starts.
class KeyboardMap {
public:
    explicit KeyboardMap(Display* display) {
        XDisplayKeycodes(display, &minimum_, &maximum_);
        KeySym* symbols = XGetKeyboardMapping(display, static_cast<KeyCode>(minimum_), maximum_ - minimum_ + 1,
                                              &perKeycode_);
        if (symbols != nullptr) {
            symbols_.assign(symbols, symbols + (maximum_ - minimum_ + 1) * perKeycode_);
            XFree(symbols);
        } else {
            perKeycode_ = 0;
        }
    }

    struct Key {
        KeyCode code = 0;
        bool shifted = false;
    };

    // The key that gives `keysym` without a modifier or with Shift.
    std::optional<Key> find(KeySym keysym) const {
        for (int level = 0; level < std::min(perKeycode_, 2); ++level) {
            for (int code = minimum_; code <= maximum_; ++code) {
                if (symbol(code, level) == keysym) {
                    return Key{static_cast<KeyCode>(code), level == 1};
                }
            }
        }
        return std::nullopt;
    }

    // A key with nothing mapped to it, from the top of the range, where
    // keyboards leave keys free.
    std::optional<KeyCode> spare() const {
        for (int code = maximum_; code >= minimum_; --code) {
            bool free = true;
            for (int level = 0; level < perKeycode_ && free; ++level) {
                free = symbol(code, level) == NoSymbol;
            }
            if (free && perKeycode_ > 0) {
                return static_cast<KeyCode>(code);
            }
        }
        return std::nullopt;
    }

    int perKeycode() const noexcept { return perKeycode_; }

    KeySym symbol(int code, int level) const {
        return symbols_[static_cast<std::size_t>((code - minimum_) * perKeycode_ + level)];
    }

    // Records what this process just mapped to `code`.
    void assign(KeyCode code, const std::vector<KeySym>& symbols) {
        std::copy(symbols.begin(), symbols.end(),
                  symbols_.begin() + static_cast<std::ptrdiff_t>((code - minimum_) * perKeycode_));
    }

private:

    int minimum_ = 0;
    int maximum_ = -1;
    int perKeycode_ = 0;
    std::vector<KeySym> symbols_;
};

class XTestInputEvents final : public InputEvents {
public:
    std::optional<std::string> unavailability() override {
        std::string problem;
        Display* display = display_.connection(problem);
        if (display == nullptr) {
            return problem;
        }
        int eventBase = 0;
        int errorBase = 0;
        int major = 0;
        int minor = 0;
        if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
            return "The X display \"" + std::string(DisplayString(display)) +
                   "\" has no XTest extension: use an X server that offers it (Xorg and XWayland do).";
        }
        return std::nullopt;
    }

    std::optional<ScreenSize> screenSize() override {
        std::string problem;
        Display* display = display_.connection(problem);
        if (display == nullptr) {
            return std::nullopt;
        }
        const int screen = DefaultScreen(display);
        return ScreenSize{DisplayWidth(display, screen), DisplayHeight(display, screen)};
    }

    void click(int x, int y) override {
        std::string problem;
        Display* display = display_.connection(problem);
        if (display == nullptr) {
            return;
        }
        // X has no click without a pointer position: the pointer moves there.
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        XTestFakeButtonEvent(display, Button1, True, CurrentTime);
        XFlush(display);
        std::this_thread::sleep_for(buttonHold);
        XTestFakeButtonEvent(display, Button1, False, CurrentTime);
        XSync(display, False);
    }

    void typeText(std::u32string_view codePoints) override {
        std::string problem;
        Display* display = display_.connection(problem);
        if (display == nullptr || codePoints.empty()) {
            return;
        }
        KeyboardMap keyboard(display);
        const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
        for (const char32_t point : codePoints) {
            const KeySym keysym = keysymFor(point);
            if (keysym == NoSymbol) {
                continue;
            }
            if (auto key = keyboard.find(keysym)) {
                pressAndRelease(display, key->code, key->shifted ? shift : KeyCode{0});
                markPressed(key->code);
            } else if (const auto borrowed = borrowKey(display, keyboard, keysym)) {
                pressAndRelease(display, *borrowed, 0);
                markPressed(*borrowed);
            }
            std::this_thread::sleep_for(keyPause);
        }
        XSync(display, False);
    }

    // Frees the borrowed keys, once their last presses have been read.
    ~XTestInputEvents() override {
        if (borrowed_.empty()) {
            return;
        }
        std::string problem;
        Display* display = display_.connection(problem);
        if (display == nullptr) {
            return;
        }
        const KeyboardMap keyboard(display);
        const std::vector<KeySym> cleared(static_cast<std::size_t>(keyboard.perKeycode()), NoSymbol);
        for (const BorrowedKey& key : borrowed_) {
            if (!stillGives(keyboard, key)) {
                continue;
            }
            std::this_thread::sleep_until(key.lastPressed + borrowedKeyHold);
            XChangeKeyboardMapping(display, key.code, keyboard.perKeycode(), const_cast<KeySym*>(cleared.data()),
                                   1);
        }
        XSync(display, False);
    }

private:
    // A key with nothing of its own that this process mapped to a character
    // no key types.
    struct BorrowedKey {
        KeyCode code = 0;
        KeySym keysym = NoSymbol;
        Clock::time_point lastPressed;
    };

    static void pressAndRelease(Display* display, KeyCode code, KeyCode modifier) {
        if (modifier != 0) {
            XTestFakeKeyEvent(display, modifier, True, CurrentTime);
        }
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        if (modifier != 0) {
            XTestFakeKeyEvent(display, modifier, False, CurrentTime);
        }
        XFlush(display);
    }

    // Whether the map still gives the key our character: one remapped by
    // someone else since (a layout switch) is theirs now.
    static bool stillGives(const KeyboardMap& keyboard, const BorrowedKey& key) {
        return keyboard.perKeycode() > 0 && keyboard.symbol(key.code, 0) == key.keysym;
    }

    void markPressed(KeyCode code) {
        for (BorrowedKey& key : borrowed_) {
            if (key.code == code) {
                key.lastPressed = Clock::now();
            }
        }
    }

    // A key that types `keysym` from now on: a free key when the map has
    // one, else the borrowed key pressed longest ago, once its hold is over.
    // The key stays mapped after the press, so a client that reads the map
    // late still reads the character; nothing when no key can be had.
    std::optional<KeyCode> borrowKey(Display* display, KeyboardMap& keyboard, KeySym keysym) {
        std::erase_if(borrowed_, [&](const BorrowedKey& key) { return !stillGives(keyboard, key); });
        BorrowedKey* slot = nullptr;
        if (const auto spare = keyboard.spare()) {
            slot = &borrowed_.emplace_back(BorrowedKey{.code = *spare, .keysym = NoSymbol, .lastPressed = {}});
        } else if (!borrowed_.empty()) {
            slot = &*std::min_element(borrowed_.begin(), borrowed_.end(),
                                      [](const BorrowedKey& left, const BorrowedKey& right) {
                                          return left.lastPressed < right.lastPressed;
                                      });
            std::this_thread::sleep_until(slot->lastPressed + borrowedKeyHold);
        } else {
            return std::nullopt;
        }
        // The same keysym on both levels, so a held Shift changes nothing.
        std::vector<KeySym> symbols(static_cast<std::size_t>(keyboard.perKeycode()), NoSymbol);
        symbols[0] = keysym;
        if (symbols.size() > 1) {
            symbols[1] = keysym;
        }
        XChangeKeyboardMapping(display, slot->code, keyboard.perKeycode(), symbols.data(), 1);
        XSync(display, False);
        keyboard.assign(slot->code, symbols);
        slot->keysym = keysym;
        return slot->code;
    }

    XDisplay display_;
    std::vector<BorrowedKey> borrowed_;
};

}  // namespace

std::unique_ptr<InputEvents> makeXTestInputEvents() {
    return std::make_unique<XTestInputEvents>();
}

}  // namespace lumenary::platform
