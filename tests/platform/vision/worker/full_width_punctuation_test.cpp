#include "platform/vision/worker/full_width_punctuation.hpp"

#include <string>

#include <gtest/gtest.h>

namespace lumenary::platform::vision {
namespace {

TEST(FullWidthPunctuationTest, MarksAfterSquareGlyphsTakeTheirFullWidthFormWithoutSpaces) {
    struct Case {
        std::string name;
        std::string read;
        std::string printed;
    };
    const std::vector<Case> cases{
        {"question mark", "你明天有空吗?", "你明天有空吗？"},
        {"mark with a space after it", "小心! 地面很滑。", "小心！地面很滑。"},
        {"colon before digits", "邮编: 100084", "邮编：100084"},
        {"colon before Latin", "窗口编号 : A12", "窗口编号：A12"},
        {"comma and semicolon", "第一,准备材料;第二,开始实验。", "第一，准备材料；第二，开始实验。"},
        {"brackets around Han", "备注 (见附件) 已发", "备注（见附件）已发"},
        {"spaces beside a full-width mark the model read", "雨停了， 我们出去走走吧 。", "雨停了，我们出去走走吧。"},
        {"mark after a full-width mark", "真的吗?!", "真的吗？！"},
        {"a time stays ASCII", "火车将于8:45到达上海站", "火车将于8:45到达上海站"},
        {"marks among Latin stay", "我们使用Python, C和Go", "我们使用Python, C和Go"},
        {"English stays as it is", "Total amount: 1,250.00 EUR (net)!", "Total amount: 1,250.00 EUR (net)!"},
        {"a space between glyphs stays", "第2章 数据与方法", "第2章 数据与方法"},
        {"kana count as square glyphs", "ありがとう!", "ありがとう！"},
        {"a mark first in the line stays", "?你好", "?你好"},
        {"empty", "", ""},
        {"ill-formed bytes pass through", "\xE7\xAA:\xFF窗?", "\xE7\xAA:\xFF窗？"},
        {"a truncated sequence at the end", "窗?\xE7", "窗？\xE7"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(withFullWidthPunctuation(testCase.read), testCase.printed);
    }
}

TEST(FullWidthPunctuationTest, FullWidthDigitsAndLettersBecomeAscii) {
    struct Case {
        std::string name;
        std::string read;
        std::string ascii;
    };
    const std::vector<Case> cases{
        {"a lone digit", "５", "5"},
        {"the first and the last digit and letter", "０ ９ Ａ ｚ", "0 9 A z"},
        {"full-width marks stay", "Ｘ：0 ｛ａ｝！", "X：0 ｛a｝！"},
        {"Han and the ideographic full stop stay", "价格。", "价格。"},
        {"the characters beside the forms stay", "ｾ ￥", "ｾ ￥"},
        {"a truncated sequence at the end", "５\xEF\xBC", "5\xEF\xBC"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(withAsciiForms(testCase.read), testCase.ascii);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
