#include "platform/vision/worker/agreed_line_reading.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "line_reading_examples.hpp"

namespace lumenary::platform::vision {
namespace {

using vision_test::ReadPlace;
using vision_test::readingOf;

TEST(AgreedReading, KeepsWhatBothReadingsOfTheLineFindLikely) {
    struct Case {
        std::string name;
        std::vector<ReadPlace> first;
        std::vector<ReadPlace> second;
        std::string text;
    };
    const std::vector<Case> cases{
        {"each reading sure where the other is not",
         {{"倒"}, {"映"}, {"看", 0.88F, {{"着", 0.115F}}}, {"蓝"}},
         {{"倒"}, {"映"}, {"着", 0.99F, {{"看", 0.005F}}}, {"蓝"}},
         "倒映着蓝"},
        {"both unsure the same way", {{"映"}, {"看", 0.88F, {{"着", 0.115F}}}}, {{"映"}, {"看", 0.7F, {{"着", 0.3F}}}},
         "映看"},
        {"a mark read into the edge of one reading",
         {{"[", 0.77F}, {"孩"}, {"子"}},
         {{"孩"}, {"子"}},
         "孩子"},
        {"a character the first reading is sure of", {{"孩"}, {"子"}, {"们", 0.95F}}, {{"孩"}, {"子"}}, "孩子们"},
        {"a character only the second reading holds", {{"孩"}, {"们"}}, {{"孩"}, {"子"}, {"们"}}, "孩们"},
        {"readings of different glyphs",
         {{"w"}, {"w"}, {"."}, {"e"}, {"x"}, {"a"}, {"m"}},
         {{"w"}, {"."}, {"."}, {"e"}, {"a"}, {"m"}, {"m"}},
         "ww.exam"},
        {"nothing read", {}, {{"孩"}}, ""},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const NetworkLineText agreed = agreedReading(readingOf(testCase.first), readingOf(testCase.second));
        EXPECT_EQ(agreed.text, testCase.text);
        ASSERT_EQ(agreed.characters.size(), agreed.steps.size());
        ASSERT_EQ(agreed.characters.size(), agreed.probabilities.size());
        ASSERT_EQ(agreed.characters.size(), agreed.alternatives.size());
        ASSERT_EQ(agreed.characters.size(), agreed.spaceBefore.size());
    }

    // The steps stay the first reading's, and so does the space seen
    // before a character left out.
    NetworkLineText first = readingOf({{"[", 0.6F}, {"孩"}, {"子"}});
    first.spaceBefore = {0.1F, 0.4F, 0.0F};
    const NetworkLineText agreed = agreedReading(first, readingOf({{"孩"}, {"子"}}));
    ASSERT_EQ(agreed.steps.size(), 2U);
    EXPECT_EQ(agreed.steps, (std::vector<int>{8, 12}));
    EXPECT_FLOAT_EQ(agreed.spaceBefore[0], 0.4F);
    // 着 and 看 at the geometric means of the two readings' probabilities.
    const NetworkLineText both = agreedReading(readingOf({{"看", 0.88F, {{"着", 0.115F}}}}),
                                               readingOf({{"着", 0.99F, {{"看", 0.005F}}}}));
    ASSERT_EQ(both.alternatives.front().size(), 1U);
    EXPECT_NEAR(both.probabilities.front(), 0.337F, 1e-3);
    EXPECT_NEAR(both.alternatives.front().front().probability, 0.066F, 1e-3);
    EXPECT_TRUE(readSurely(readingOf({{"孩"}, {"子", 0.97F}})));
    EXPECT_FALSE(readSurely(readingOf({{"孩"}, {"子", 0.96F}})));
}

}  // namespace
}  // namespace lumenary::platform::vision
