#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/unicode_characters.hpp"

namespace lumenary::platform {
namespace {

TEST(UnicodeCharacters, SplitsTextWhereAReaderSeesOneCharacterEnd) {
    // e and a combining acute; a flag of two regional indicators; a keycap.
    EXPECT_EQ(userPerceivedCharacters("e\u0301x\U0001F1E9\U0001F1EA1\uFE0F\u20E3"),
              (std::vector<std::string>{"e\u0301", "x", "\U0001F1E9\U0001F1EA", "1\uFE0F\u20E3"}));
    EXPECT_EQ(userPerceivedCharacters("a\xFF"), (std::vector<std::string>{"a", "\uFFFD"}));
    EXPECT_TRUE(userPerceivedCharacters("").empty());
}

TEST(UnicodeCharacters, ANumberCharacterIsOneWhoseFirstCodePointHasANumericType) {
    struct Case {
        std::string character;
        bool isNumber;
    };
    const std::vector<Case> cases{
        {"7", true},
        {"\u0663", true},         // Arabic-Indic three
        {"\uFF15", true},         // fullwidth five
        {"\u00BD", true},         // one half
        {"\u216B", true},         // Roman numeral twelve
        {"\u4E94", true},         // the ideograph five
        {"1\uFE0F\u20E3", true},  // keycap one
        {"a", false},
        {"+", false},
        {"-", false},
        {" ", false},
        {"", false},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(isNumberCharacter(testCase.character), testCase.isNumber) << testCase.character;
    }
}

}  // namespace
}  // namespace lumenary::platform
