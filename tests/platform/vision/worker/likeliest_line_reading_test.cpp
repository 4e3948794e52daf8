#include "platform/vision/worker/likeliest_line_reading.hpp"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "line_reading_examples.hpp"

namespace lumenary::platform::vision {
namespace {

using vision_test::joined;
using vision_test::ReadPlace;
using vision_test::readingOf;

// Counts shaped like the installed list's: 60 million uses in all, the
// common single characters in the tens of thousands.
ChineseWordFrequencies someWords() {
    auto read = ChineseWordFrequencies::fromList(
        "我们 20000\n使用 24000\n便 55000\n用 30000\n使 8000\n冠军 3000\n车 10000\n夺得 500\n"
        "毽子 12\n键 800\n子 19000\n踢 3000\n这对 5000\n这 100000\n封 2000\n邮件 3000\n的 59000000\n");
    return std::get<ChineseWordFrequencies>(std::move(read));
}

TEST(LikeliestReading, TakesAnotherCharacterTheNetworkSawWhereTheWordsMakeItLikelier) {
    const ChineseWordFrequencies words = someWords();
    struct Case {
        std::string name;
        std::vector<ReadPlace> places;
        std::string text;
    };
    const std::vector<Case> cases{
        {"a glyph a stroke from a word's", {{"我"}, {"们"}, {"便", 0.66F, {{"使", 0.34F}}}, {"用"}}, "我们使用"},
        {"a word's character seen less often than the one read",
         {{"踢"}, {"键", 0.47F, {{"楗", 0.16F}, {"毽", 0.066F}}}, {"子"}},
         "踢毽子"},
        {"a word's character seen far less often", {{"踢"}, {"键", 0.85F, {{"楗", 0.01F}, {"毽", 0.003F}}}, {"子"}},
         "踢键子"},
        {"the last of a word", {{"夺"}, {"得"}, {"冠"}, {"车", 0.58F, {{"军", 0.36F}}}}, "夺得冠军"},
        {"a character read surely stays", {{"这"}, {"封", 0.98F, {{"对", 0.02F}}}, {"邮"}, {"件"}}, "这封邮件"},
        {"a character seen too seldom is not weighed", {{"我"}, {"们"}, {"便", 0.999F, {{"使", 0.001F}}}, {"用"}},
         "我们便用"},
        {"Latin letters stay as read", {{"P"}, {"v", 0.73F, {{"y", 0.27F}}}, {"t"}}, "Pvt"},
        {"a full stop between Han characters", {{"达"}, {"．", 0.68F, {{"，", 0.2F}, {"。", 0.12F}}}, {"请"}},
         "达，请"},
        {"the likelier of comma and full stop", {{"达"}, {"．", 0.68F, {{"。", 0.2F}, {"，", 0.12F}}}, {"请"}},
         "达。请"},
        {"a full stop between digits", {{"3"}, {"．", 0.68F, {{"，", 0.3F}}}, {"5"}}, "3．5"},
        {"a full stop the network saw nothing else for", {{"达"}, {"．", 0.98F}, {"请"}}, "达．请"},
        {"nothing read", {}, ""},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(joined(likeliestReading(readingOf(testCase.places), words)), testCase.text);
    }

    NetworkLineText torn = readingOf({{"我"}, {"们"}, {"便", 0.66F, {{"使", 0.34F}}}, {"用"}});
    torn.alternatives.pop_back();
    EXPECT_EQ(joined(likeliestReading(torn, words)), "我们便用");
}

TEST(LikeliestReading, WeighsEveryPlaceOfALongUnsureLineWithinItsBound) {
    // Forty places each with nine readings: far more ways than could be
    // counted one by one.
    std::vector<ReadPlace> places;
    for (int place = 0; place < 40; ++place) {
        places.push_back({"便", 0.5F, {{"使", 0.3F}, {"用", 0.1F}, {"车", 0.05F}, {"子", 0.02F}, {"踢", 0.01F},
                                       {"这", 0.01F}, {"封", 0.005F}, {"键", 0.003F}}});
    }
    const std::vector<std::string> read = likeliestReading(readingOf(places), someWords());
    ASSERT_EQ(read.size(), 40U);
    // 使用 is the likeliest word the places can spell.
    EXPECT_EQ(read[0] + read[1], "使用");
}

}  // namespace
}  // namespace lumenary::platform::vision
