#include "mcp/core/utf8.hpp"

#include <gtest/gtest.h>

namespace lumenary::mcp {
namespace {

const std::string replacement = "\xEF\xBF\xBD";

TEST(UTF8Test, RepairReplacesEachMaximalIllFormedSubsequenceOnce) {
    struct Case {
        const char* name;
        std::string input;
        std::string repaired;
    };
    const std::vector<Case> cases = {
        {"ascii", "plain text, long enough for words", "plain text, long enough for words"},
        {"wellFormed", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"loneContinuation", "a\x80" "b", "a" + replacement + "b"},
        {"invalidLead", "\xFF\xFE", replacement + replacement},
        {"truncatedThreeByteSequence", "\xE2\x82" "x", replacement + "x"},
        {"truncatedAtTheEnd", "x\xF0\x9F\x98", "x" + replacement},
        {"overlongTwoBytes", "\xC0\xAF", replacement + replacement},
        {"overlongThreeBytes", "\xE0\x80\xAF", replacement + replacement + replacement},
        {"surrogate", "\xED\xA0\x80", replacement + replacement + replacement},
        {"pastTheLastCodePoint", "\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},
        {"badByteAfterLongAsciiRun", "0123456789abcdef\xFF", "0123456789abcdef" + replacement},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(repairedUTF8(testCase.input), testCase.repaired) << testCase.name;
        EXPECT_TRUE(isValidUTF8(repairedUTF8(testCase.input))) << testCase.name;
        EXPECT_EQ(isValidUTF8(testCase.input), testCase.input == testCase.repaired) << testCase.name;
    }
}

}  // namespace
}  // namespace lumenary::mcp
