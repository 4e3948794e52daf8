#include "system/utf8.hpp"

#include <gtest/gtest.h>

#include <string>

namespace lumenary::system {
namespace {

struct RepairCase {
    const char* name;
    std::string input;
    std::string repaired;
};

class RepairedUTF8 : public ::testing::TestWithParam<RepairCase> {};

// Each maximal ill-formed subpart becomes one U+FFFD; well-formed runs stay.
TEST_P(RepairedUTF8, ReplacesEachIllFormedSequenceOnce) {
    EXPECT_EQ(repairUTF8(GetParam().input), GetParam().repaired);
    EXPECT_TRUE(isValidUTF8(repairUTF8(GetParam().input)));
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, RepairedUTF8,
    ::testing::Values(RepairCase{"WellFormed", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
                      RepairCase{"LoneFF", "\xFF", "\xEF\xBF\xBD"},
                      RepairCase{"TruncatedTwoByte", "\xC3", "\xEF\xBF\xBD"},
                      RepairCase{"TruncatedThreeByteIsOneSubpart", "\xE2\x82" "a", "\xEF\xBF\xBD" "a"},
                      RepairCase{"OverlongIsTwoBytes", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
                      RepairCase{"SurrogateIsThreeBytes", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
                      RepairCase{"PastMaximum", "\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
                      RepairCase{"StrayContinuation", "a\x80" "b", "a\xEF\xBF\xBD" "b"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace lumenary::system
