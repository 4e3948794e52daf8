#include "platform/desktop/xtest_input_events.hpp"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>
#include <variant>

#include "platform/desktop/borrowed_key_record.hpp"
#include "platform/desktop/borrowed_keys.hpp"
#include "platform/desktop/keyboard_map.hpp"
#include "platform/desktop/x_display.hpp"
#include "platform/process/process_identity.hpp"

namespace lumenary::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds buttonHold{10};
constexpr std::chrono::milliseconds keyPause{5};

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

std::string utf8(char32_t point) {
    std::string text;
    if (point < 0x80) {
        text += static_cast<char>(point);
    } else if (point < 0x800) {
        text += static_cast<char>(0xC0 | (point >> 6));
        text += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        text += static_cast<char>(0xE0 | (point >> 12));
        text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (point >> 18));
        text += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (point & 0x3F));
    }
    return text;
}

// "U+0007", or "\"ж\" (U+0436)" for a character that prints.
std::string characterName(char32_t point) {
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(point));
    if (keysymFor(point) == NoSymbol || point < 0x20) {
        return number;
    }
    return "\"" + utf8(point) + "\" (" + number + ")";
}

// Sleeps until `deadline`; false when `stop` is requested first.
bool sleepUntil(Clock::time_point deadline, const std::stop_token& stop) {
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    return !woken.wait_until(lock, stop, deadline, [] { return false; }) && !stop.stop_requested();
}

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

    TypingOutcome typeText(std::u32string_view codePoints, std::stop_token stop) override {
        if (codePoints.empty()) {
            return {};
        }
        std::string problem;
        Display* display = display_.connection(problem);
        if (display == nullptr) {
            return {.typed = 0, .stopReason = problem};
        }
        forgetKeysOfAnotherDisplay();
        noteKeysOfOthers();
        KeyboardMap keyboard(display);
        const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
        TypingOutcome outcome;
        for (const char32_t point : codePoints) {
            if (stop.stop_requested()) {
                outcome.stopReason = "Lumenary is stopping.";
                break;
            }
            const auto symbol = static_cast<KeySymbol>(keysymFor(point));
            if (symbol == NoSymbol) {
                outcome.stopReason = characterName(point) + " is a control character that no key types.";
                break;
            }
            auto key = keyboard.find(symbol, othersKeys_);
            if (!key) {
                auto lent = lendLevel(keyboard, symbol, stop);
                if (auto* failure = std::get_if<std::string>(&lent)) {
                    outcome.stopReason = failure->empty() ? "Lumenary is stopping."
                                                          : characterName(point) + " has no key on the keyboard "
                                                                                   "map, and " + *failure;
                    break;
                }
                key = std::get<KeyboardMap::Key>(lent);
            }
            pressAndRelease(display, static_cast<KeyCode>(key->code), key->level == 1 ? shift : KeyCode{0});
            borrowed_.pressed(key->code, key->level, Clock::now());
            ++outcome.typed;
            std::this_thread::sleep_for(keyPause);
        }
        // Every change of the map, ours or anyone's, queues an event here
        // that nothing reads: dropped, or a long session would keep them all.
        XSync(display, True);
        return outcome;
    }

    void giveBackBorrowedKeys() override {
        if (borrowed_.keys().empty()) {
            return;
        }
        Clock::time_point last{};
        for (const auto& key : borrowed_.keys()) {
            last = std::max(last, BorrowedKeys::freeFrom(key));
        }
        std::this_thread::sleep_until(last);
        std::string problem;
        Display* display = display_.connection(problem);
        if (display == nullptr) {
            // The record keeps them for the next run on that display.
            return;
        }
        auto opened = openRecord(keysDisplay_);
        KeyboardMap keyboard(display);
        for (const auto& key : borrowed_.keys()) {
            // A key remapped by someone else since (a layout switch) is theirs.
            if (keyboard.levels(key.code) == key.symbols) {
                keyboard.change(key.code, std::nullopt);
            }
        }
        XSync(display, False);
        if (auto* record = std::get_if<BorrowedKeyRecord>(&opened)) {
            const auto self = currentProcess();
            std::erase_if(record->keys, [&self](const RecordedKey& key) { return key.owner == self; });
            record->save();
        }
        borrowed_ = {};
    }

    void takeBackAbandonedKeys() override {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || *name == '\0') {
            return;
        }
        if (!borrowedKeyRecordExists(name)) {
            return;
        }
        std::string problem;
        Display* display = display_.connection(problem);
        if (display == nullptr) {
            return;
        }
        auto opened = openRecord(name);
        if (auto* record = std::get_if<BorrowedKeyRecord>(&opened)) {
            KeyboardMap keyboard(display);
            if (takeBackAbandoned(*record, keyboard)) {
                XSync(display, False);
                record->save();
            }
        }
    }

private:
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

    // The keys held are of the display typed on last; one that DISPLAY no
    // longer names keeps them, and the record lets its next run take them.
    void forgetKeysOfAnotherDisplay() {
        const char* name = std::getenv("DISPLAY");
        if (name != nullptr && keysDisplay_ != name) {
            keysDisplay_ = name;
            borrowed_ = {};
        }
    }

    // The keys other programs of ours hold now, which this one never
    // presses: their owners may give them new characters at any time.
    void noteKeysOfOthers(const BorrowedKeyRecord& record) {
        const auto self = currentProcess();
        othersKeys_.clear();
        for (const auto& key : record.keys) {
            if (key.owner != self) {
                othersKeys_.insert(key.code);
            }
        }
    }

    void noteKeysOfOthers() {
        othersKeys_.clear();
        if (borrowedKeyRecordExists(keysDisplay_)) {
            const auto opened = openRecord(keysDisplay_);
            if (const auto* record = std::get_if<BorrowedKeyRecord>(&opened)) {
                noteKeysOfOthers(*record);
            }
        }
    }

    static std::variant<BorrowedKeyRecord, std::string> openRecord(const std::string& display) {
        auto folder = borrowedKeyFolder();
        if (auto* problem = std::get_if<std::string>(&folder)) {
            return std::move(*problem);
        }
        return BorrowedKeyRecord::open(borrowedKeyRecordFile(std::get<std::filesystem::path>(folder), display));
    }

    // Clears the keys of programs of ours that have ended where they still
    // hold what those put there, and drops them from the record; true when
    // the record changed.
    static bool takeBackAbandoned(BorrowedKeyRecord& record, KeyboardMap& keyboard) {
        const auto before = record.keys.size();
        std::erase_if(record.keys, [&keyboard](const RecordedKey& key) {
            if (isRunning(key.owner)) {
                return false;
            }
            if (keyboard.levels(key.code) == key.symbols) {
                keyboard.change(key.code, std::nullopt);
            }
            return true;
        });
        return record.keys.size() != before;
    }

    // A level of a key that gives `symbol` from now on: an unpressed level
    // of a held key, else a key the map leaves empty, else the level of a
    // held key pressed longest ago, once its hold is over. The key keeps
    // the character after the press, so a client that reads the map late
    // still reads it. Otherwise why not, as the end of a sentence; empty
    // when `stop` was requested.
    std::variant<KeyboardMap::Key, std::string> lendLevel(KeyboardMap& keyboard, KeySymbol symbol,
                                                          const std::stop_token& stop) {
        for (;;) {
            const auto next = borrowed_.nextLevel();
            std::variant<KeyboardMap::Key, std::string, std::monostate> attempt = std::monostate{};
            if (next && !next->pressed) {
                attempt = reassign(keyboard, *next, symbol);
            } else {
                attempt = borrowSpare(keyboard, symbol);
                if (std::holds_alternative<std::monostate>(attempt) && next) {
                    if (!sleepUntil(next->freeFrom, stop)) {
                        return std::string();
                    }
                    attempt = reassign(keyboard, *next, symbol);
                } else if (std::holds_alternative<std::monostate>(attempt)) {
                    return std::string(
                        "no key is free to map it to: every key is in use by the keyboard or another program.");
                }
            }
            if (auto* key = std::get_if<KeyboardMap::Key>(&attempt)) {
                return *key;
            }
            if (auto* failure = std::get_if<std::string>(&attempt)) {
                return std::move(*failure);
            }
            // The level's key was taken by someone else meanwhile: another.
        }
    }

    // Maps `symbol` to a key the map leaves empty; nothing when none is.
    std::variant<KeyboardMap::Key, std::string, std::monostate> borrowSpare(KeyboardMap& keyboard,
                                                                             KeySymbol symbol) {
        auto opened = openRecord(keysDisplay_);
        if (auto* problem = std::get_if<std::string>(&opened)) {
            return "the record of borrowed keys cannot be kept: " + *problem + ".";
        }
        auto& record = std::get<BorrowedKeyRecord>(opened);
        // Under the record's lock, other programs of ours map nothing: the
        // map read now stays true to what they did.
        keyboard.reload();
        const bool tookBack = takeBackAbandoned(record, keyboard);
        noteKeysOfOthers(record);
        std::set<int> taken;
        for (const auto& key : record.keys) {
            taken.insert(key.code);
        }
        const auto spare = keyboard.spare(taken);
        if (!spare) {
            if (tookBack) {
                record.save();
            }
            return std::monostate{};
        }
        const std::array<KeySymbol, 2> symbols{symbol, symbol};
        // Written before the key is mapped: a run that ends in between
        // leaves a record that the key, still empty, does not match.
        record.keys.push_back({.code = *spare, .symbols = symbols, .owner = currentProcess()});
        if (auto problem = record.save()) {
            return "the record of borrowed keys cannot be kept: " + *problem + ".";
        }
        if (!keyboard.change(*spare, symbols)) {
            keyboard.change(*spare, std::nullopt);
            record.keys.pop_back();
            record.save();
            return "the X server did not map it to the free key " + std::to_string(*spare) + ".";
        }
        borrowed_.add(*spare, symbol);
        return KeyboardMap::Key{.code = *spare, .level = 0};
    }

    // Gives `symbol` to one level of a held key; nothing when the key is no
    // longer ours.
    std::variant<KeyboardMap::Key, std::string, std::monostate> reassign(KeyboardMap& keyboard,
                                                                          const BorrowedKeys::Level& level,
                                                                          KeySymbol symbol) {
        auto opened = openRecord(keysDisplay_);
        if (auto* problem = std::get_if<std::string>(&opened)) {
            return "the record of borrowed keys cannot be kept: " + *problem + ".";
        }
        auto& record = std::get<BorrowedKeyRecord>(opened);
        noteKeysOfOthers(record);
        const auto self = currentProcess();
        auto entry = std::find_if(record.keys.begin(), record.keys.end(), [&](const RecordedKey& key) {
            return key.code == level.code && key.owner == self;
        });
        keyboard.reload();
        const BorrowedKeys::Key* held = borrowed_.find(level.code);
        if (held == nullptr || keyboard.levels(level.code) != held->symbols) {
            // Remapped by someone else since (a layout switch): theirs now.
            borrowed_.remove(level.code);
            if (entry != record.keys.end()) {
                record.keys.erase(entry);
                record.save();
            }
            return std::monostate{};
        }
        const auto symbols = borrowed_.assign(level.code, level.level, symbol);
        if (entry == record.keys.end()) {
            entry = record.keys.insert(record.keys.end(), {.code = level.code, .symbols = {}, .owner = self});
        }
        entry->symbols = symbols;
        if (auto problem = record.save()) {
            borrowed_.remove(level.code);
            return "the record of borrowed keys cannot be kept: " + *problem + ".";
        }
        if (!keyboard.change(level.code, symbols)) {
            borrowed_.remove(level.code);
            return "the X server did not map it to key " + std::to_string(level.code) + ".";
        }
        return KeyboardMap::Key{.code = level.code, .level = level.level};
    }

    XDisplay display_;
    // The display the held keys are on.
    std::string keysDisplay_;
    std::set<int> othersKeys_;
    BorrowedKeys borrowed_;
};

}  // namespace

std::unique_ptr<InputEvents> makeXTestInputEvents() {
    return std::make_unique<XTestInputEvents>();
}

}  // namespace lumenary::platform
