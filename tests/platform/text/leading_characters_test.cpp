#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/text/leading_characters.hpp"

namespace lumenary::platform {
namespace {

std::string repeated(const std::string& text, int count) {
    std::string whole;
    for (int index = 0; index < count; ++index) {
        whole += text;
    }
    return whole;
}

TEST(LeadingCharacters, CutsOnlyALongerTextAndNeverInsideACharacter) {
    struct Case {
        const char* why;
        std::string text;
        std::size_t count;
        std::optional<std::string> expected;
    };
    const std::string eAcute = "e\xcc\x81";                                     // e + combining acute
    const std::string family = "\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x91\xa7";  // woman ZWJ girl
    const std::string flag = "\xf0\x9f\x87\xa9\xf0\x9f\x87\xaa";                // regional D E
    const std::vector<Case> cases{
        {"shorter than the count", "abc", 5, std::nullopt},
        {"exactly the count", "abcde", 5, std::nullopt},
        {"one over", "abcdef", 5, "abcde"},
        {"more bytes than the count but not more characters", repeated("中", 5), 5, std::nullopt},
        {"three-byte characters", repeated("中", 6), 5, repeated("中", 5)},
        {"four-byte characters", repeated("\xf0\x9f\x98\x80", 3), 2, repeated("\xf0\x9f\x98\x80", 2)},
        {"a letter with its combining mark is one", repeated(eAcute, 4), 3, repeated(eAcute, 3)},
        {"an emoji sequence is one", family + family + "x", 2, family + family},
        {"a flag is one", flag + flag + flag, 2, flag + flag},
        {"bytes that are not UTF-8 count as one replacement each",
         "ab\xff\xfe"
         "cd",
         3, "ab\xef\xbf\xbd"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.why);
        EXPECT_EQ(leadingCharactersOfLonger(testCase.text, testCase.count), testCase.expected);
    }
}

}  // namespace
}  // namespace lumenary::platform
