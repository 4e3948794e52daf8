#include "platform/vision/worker/chinese_word_frequencies.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace lumenary::platform::vision {
namespace {

TEST(ChineseWordFrequencies, SharesEachWordCountedOftenEnoughOfAllTheListsUses) {
    // 1,000 uses in all, counted from every line with a count, listed or
    // not.
    const std::string list =
        "使用 500 v\n"
        "毽子 12 n\n"
        "键子 3 n\n"
        "使用 400 v\n"
        "no-count n\n"
        " 8 n\n"
        "坏 x1 n\n"
        "负 -4 n\n"
        "长长长长长长长长长 50\n"
        "的 35\r\n";
    auto read = ChineseWordFrequencies::fromList(list);
    ASSERT_TRUE(std::holds_alternative<ChineseWordFrequencies>(read)) << std::get<std::string>(read);
    const ChineseWordFrequencies& words = std::get<ChineseWordFrequencies>(read);
    struct Case {
        std::string word;
        std::optional<double> share;
    };
    const std::vector<Case> cases{
        {"使用", 0.5},  // listed twice: the larger count
        {"毽子", 0.012},
        {"的", 0.035},  // a Windows line end
        {"键子", std::nullopt},  // counted too rarely to be a word
        {"长长长长长长长长长", std::nullopt},  // longer than any word weighed
        {"坏", std::nullopt},
        {"负", std::nullopt},
        {"用", std::nullopt},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.word);
        const std::optional<float> share = words.logShare(testCase.word);
        ASSERT_EQ(share.has_value(), testCase.share.has_value());
        if (share) {
            EXPECT_NEAR(*share, std::log(*testCase.share), 1e-5);
        }
    }
    EXPECT_NEAR(words.unlistedLogShare(), std::log(1.0 / 1000), 1e-9);

    for (const std::string& notAList : {std::string(), std::string("键子 3\n"), std::string("\x01\x02\x03")}) {
        const auto refused = ChineseWordFrequencies::fromList(notAList);
        ASSERT_TRUE(std::holds_alternative<std::string>(refused));
        EXPECT_EQ(std::get<std::string>(refused), "it holds no counted word");
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
