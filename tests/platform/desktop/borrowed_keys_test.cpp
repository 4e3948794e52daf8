#include "platform/desktop/borrowed_keys.hpp"

#include <gtest/gtest.h>

namespace lumenary::platform {
namespace {

using namespace std::chrono_literals;
using Clock = BorrowedKeys::Clock;

constexpr KeySymbol zhe = 0x1000436;
constexpr KeySymbol sha = 0x1000448;

// Which level takes the next character, and what its key holds once given
// that character: a level never pressed goes at once, else the one pressed
// longest ago once its hold is over; a plain level takes the shifted one
// with it only while that was never pressed.
TEST(BorrowedKeys, TheNextCharacterTakesAnUnpressedLevelElseTheOnePressedLongestAgo) {
    const Clock::time_point start = Clock::now();
    struct Press {
        int code;
        int level;
        Clock::duration at;
    };
    struct Case {
        const char* name;
        std::vector<int> keys;
        std::vector<Press> presses;
        std::optional<BorrowedKeys::Level> next;
        std::array<KeySymbol, 2> after;
    };
    const Case cases[] = {
        {"no key", {}, {}, std::nullopt, {}},
        {"a key not pressed yet",
         {8},
         {},
         BorrowedKeys::Level{.code = 8, .level = 0, .pressed = false, .freeFrom = {}},
         {sha, sha}},
        {"a new key's shifted level",
         {8},
         {{8, 0, 0ms}},
         BorrowedKeys::Level{.code = 8, .level = 1, .pressed = false, .freeFrom = {}},
         {zhe, sha}},
        {"the unpressed level of the second key",
         {8, 9},
         {{8, 0, 0ms}, {8, 1, 5ms}, {9, 0, 10ms}},
         BorrowedKeys::Level{.code = 9, .level = 1, .pressed = false, .freeFrom = {}},
         {zhe, sha}},
        {"the shifted level pressed longest ago",
         {8, 9},
         {{8, 0, 0ms}, {8, 1, 5ms}, {9, 0, 10ms}, {9, 1, 15ms}, {8, 0, 20ms}},
         BorrowedKeys::Level{.code = 8, .level = 1, .pressed = true, .freeFrom = start + 5ms + BorrowedKeys::hold},
         {zhe, sha}},
        {"the plain level pressed longest ago, beside a pressed shifted one",
         {8},
         {{8, 0, 0ms}, {8, 1, 5ms}},
         BorrowedKeys::Level{.code = 8, .level = 0, .pressed = true, .freeFrom = start + BorrowedKeys::hold},
         {sha, zhe}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        BorrowedKeys keys;
        for (const int code : testCase.keys) {
            keys.add(code, zhe);
        }
        for (const auto& press : testCase.presses) {
            keys.pressed(press.code, press.level, start + press.at);
        }
        const auto next = keys.nextLevel();
        ASSERT_EQ(next.has_value(), testCase.next.has_value());
        if (next) {
            EXPECT_EQ(next->code, testCase.next->code);
            EXPECT_EQ(next->level, testCase.next->level);
            EXPECT_EQ(next->pressed, testCase.next->pressed);
            EXPECT_EQ(next->freeFrom, testCase.next->freeFrom);
            EXPECT_EQ(keys.assign(next->code, next->level, sha), testCase.after);
        }
    }
}

}  // namespace
}  // namespace lumenary::platform
