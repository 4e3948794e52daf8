#include "platform/vision/worker/merged_line_readings.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace lumenary::platform::vision {
namespace {

// A line of words set 10 px a glyph, 6 px apart, 14 px high at `top`;
// each word's confidence, and whether the recogniser knows it.
struct Word {
    std::string text;
    float confidence = 0.9F;
    bool dictionary = false;
};
ReadLine lineAt(float left, float top, const std::vector<Word>& words, bool withWords = true) {
    ReadLine line;
    float x = left;
    float confidence = 0;
    for (const Word& word : words) {
        const cv::Rect2f box(x, top, 10.0F * static_cast<float>(word.text.size()), 14);
        if (withWords) {
            line.words.push_back({word.text, word.confidence, box, word.dictionary});
        }
        line.text += (line.text.empty() ? "" : " ") + word.text;
        line.box = line.box.area() == 0 ? box : (line.box | box);
        confidence += word.confidence;
        x = box.br().x + 6;
    }
    line.confidence = words.empty() ? 0 : confidence / static_cast<float>(words.size());
    return line;
}

ReadLine plusWord(ReadLine line, const std::string& text, float confidence, float left, bool dictionary = false) {
    line.words.push_back(
        {text, confidence, cv::Rect2f(left, line.box.y, 10.0F * static_cast<float>(text.size()), 14), dictionary});
    line.text += " " + text;
    line.box |= line.words.back().box;
    return line;
}

// `line` as the detection network boxes it: its words as tall as the
// line, which stands a third again above and below its glyphs.
ReadLine tall(ReadLine line) {
    line.box.y -= 5;
    line.box.height += 10;
    for (ReadWord& word : line.words) {
        word.box.y = line.box.y;
        word.box.height = line.box.height;
    }
    return line;
}

std::vector<std::string> textsOf(const std::vector<ReadLine>& lines) {
    std::vector<std::string> texts;
    for (const ReadLine& line : lines) {
        texts.push_back(line.text);
    }
    return texts;
}

TEST(MergedLineReadings, KeepsTheSurerReadingOfEachPlaceWithWhatOnlyTheOtherFound) {
    struct Case {
        std::string name;
        std::vector<ReadLine> detected;
        std::vector<ReadLine> laidOut;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"a lone digit in a field only the layout found beside the label",
         {lineAt(10, 10, {{"Offset"}, {"X:"}})},
         {lineAt(10, 10, {{"Offset", 0.8F}, {"X:", 0.8F}}), lineAt(150, 11, {{"0", 0.85F}})},
         {"Offset X:", "0"}},
        {"the digit found in the label's own line is set into the kept one",
         {lineAt(10, 10, {{"Width"}})},
         {plusWord(lineAt(10, 10, {{"Width", 0.8F}}), "5", 0.9F, 70)},
         {"Width 5"}},
        {"a word the layout read with a frame's mark glued to it",
         {lineAt(10, 10, {{"a", 0.9F}, {"technical", 0.88F, true}, {"term", 0.9F, true}})},
         {lineAt(10, 10, {{"a", 0.9F}, {"technica]", 0.9F}, {"term", 0.9F, true}})},
         {"a technical term"}},
        {"a word the detected line split that the layout knows",
         {lineAt(10, 10, {{"WI", 0.7F}, {"herever", 0.75F}})},
         {lineAt(10, 10, {{"Wherever", 0.86F, true}})},
         {"Wherever"}},
        {"pieces of a word the kept line split, where the layout read it whole and knows it",
         {lineAt(10, 10, {{"Where", 0.95F, true}, {"WI", 0.9F, true}, {"herever", 0.9F}, {"you", 0.95F, true}})},
         {plusWord(plusWord(lineAt(10, 10, {{"Where", 0.95F, true}}), "Wherever", 0.86F, 66, true), "you", 0.95F, 168,
                   true)},
         {"Where Wherever you"}},
        {"a label beside a callout's large digit drawn over the screen",
         {lineAt(200, 10, {{"Smooth", 0.96F, true}}), ReadLine{{90, -150, 40, 180}, "4", 0.95F, {}}},
         {plusWord(lineAt(100, 10, {{"sharp", 0.79F, true}}), "smooth", 0.96F, 200, true)},
         {"4", "sharp Smooth"}},
        {"a mark the layout read, as low as it is drawn, where the kept line has it",
         {lineAt(10, 10, {{"x"}, {"="}, {"1;"}})},
         {ReadLine{{10, 10, 52, 14},
                   "x = 1;",
                   0.9F,
                   {{"x", 0.8F, {10, 10, 10, 14}, false},
                    {"=", 0.9F, {26, 15, 10, 4}, false},
                    {"1;", 0.8F, {42, 10, 20, 14}, false}}}},
         {"x = 1;"}},
        {"a label glued to its field's digit where the layout read them apart",
         {lineAt(10, 10, {{"Frame:"}}), ReadLine{{90, 10, 30, 14}, "X:0", 0.72F, {}}},
         {plusWord(plusWord(lineAt(10, 10, {{"Frame:", 0.72F, true}}), "x:", 0.18F, 90), "0", 0.83F, 110)},
         {"Frame: X: 0"}},
        {"a number whose separator the layout missed, however surely",
         {lineAt(10, 10, {{"Frais:", 0.93F, true}, {"0,000", 0.7F}})},
         {plusWord(lineAt(10, 10, {{"Frais:", 0.9F}}), "000", 0.94F, 76)},
         {"Frais: 0,000"}},
        {"times on a ruler the layout read less surely than words",
         {lineAt(10, 10, {{"Zoom"}})},
         {plusWord(plusWord(plusWord(lineAt(10, 10, {{"Zoom", 0.8F}}), "00:45", 0.5F, 200), "00:50", 0.74F, 300), "x:y",
                   0.5F, 400)},
         {"Zoom 00:45 00:50"}},
        {"a line of code only the layout found, its bars kept inside it",
         {},
         {lineAt(10, 10, {{"ls"}, {"/etc"}, {"|"}, {"grep"}, {"conf"}, {"|"}, {"sort"}, {"-r"}})},
         {"ls /etc | grep conf | sort -r"}},
        {"a frame's sides only the layout found, and marks and unsure words alone",
         {lineAt(10, 40, {{"NOTICE"}}, false)},
         {lineAt(0, 40, {{"|"}}), lineAt(200, 40, {{"|"}}), lineAt(10, 80, {{"~~", 0.3F}, {"Aa", 0.4F}}),
          lineAt(0, 120, {{"|", 0.9F}, {"Exit", 0.92F}, {"]", 0.9F}})},
         {"NOTICE", "Exit"}},
        {"lines of two rows read top to bottom, left to right, each once",
         {lineAt(200, 10, {{"Size"}}, false), lineAt(10, 40, {{"Owner"}}, false)},
         {lineAt(10, 11, {{"Name"}}), lineAt(200, 10, {{"Size"}}), lineAt(10, 40, {{"Owner"}})},
         {"Name", "Size", "Owner"}},
        {"a field's digit the detected line read as a mark",
         {lineAt(10, 10, {{"Y:", 0.81F}}), lineAt(50, 10, {{"=", 0.9F}})},
         {plusWord(lineAt(10, 10, {{"Y:", 0.36F}}), "0", 0.71F, 50)},
         {"Y: 0"}},
        {"a field's digit the layout read less surely than words, where the detected line has an unsure mark",
         {lineAt(10, 10, {{"Pointage", 0.92F}, {":", 0.93F}}), lineAt(250, 10, {{"=", 0.78F}}),
          lineAt(10, 40, {{"Total", 0.92F}}), lineAt(250, 40, {{"|", 0.95F}})},
         {plusWord(lineAt(10, 10, {{"Pointage", 0.93F}}), "0", 0.5F, 250),
          plusWord(lineAt(10, 40, {{"Total", 0.93F}}), "1", 0.5F, 250)},
         {"Pointage : 0", "Total |"}},
        {"a mark the detected line is sure of, or a digit read too unsurely, is kept",
         {lineAt(10, 10, {{"Pointage", 0.92F}}), lineAt(250, 10, {{"=", 0.9F}}), lineAt(10, 40, {{"Solde", 0.92F}}),
          lineAt(250, 40, {{"=", 0.78F}})},
         {plusWord(lineAt(10, 10, {{"Pointage", 0.93F}}), "0", 0.5F, 250),
          plusWord(lineAt(10, 40, {{"Solde", 0.93F}}), "0", 0.4F, 250)},
         {"Pointage =", "Solde ="}},
        {"lookalikes keep the detected reading unless the layout's is far surer",
         {lineAt(10, 10, {{"use", 0.9F}, {"0", 0.86F}, {"for", 0.9F}, {"Xargs", 0.7F}})},
         {lineAt(10, 10, {{"use", 0.9F}, {"O", 0.93F}, {"for", 0.9F}, {"xargs", 0.95F, true}})},
         {"use 0 for xargs"}},
        {"a word the layout read as one where the detected line has two is not taken for either",
         {lineAt(10, 10, {{"@", 0.6F}, {"Debit", 0.95F, true}})},
         {lineAt(10, 10, {{"@Debit", 0.95F}})},
         {"@ Debit"}},
        {"a lone letter the layout read surer as a digit in a row of numbers",
         {lineAt(10, 10, {{"1", 0.96F}}, false), lineAt(60, 10, {{"N", 0.89F}}, false),
          lineAt(110, 10, {{"3", 0.77F}}, false)},
         {plusWord(plusWord(lineAt(10, 10, {{"1", 0.84F}}), "2", 0.96F, 60), "3", 0.97F, 110)},
         {"1 2 3"}},
        {"a radio button's ring glued to its label is not taken",
         {lineAt(10, 10, {{"No", 0.8F}})},
         {lineAt(10, 10, {{"ONo", 0.95F}})},
         {"No"}},
        {"pieces of one line joined with the table's bars the layout read",
         {lineAt(26, 10, {{"Name"}}, false), lineAt(88, 10, {{"Size"}}, false)},
         {lineAt(10, 10, {{"|", 0.95F}, {"Name"}, {"|", 0.95F}, {"Size"}, {"|", 0.95F}})},
         {"| Name | Size |"}},
        {"a line of a network reading, its words laid along its box, not read twice",
         {lineAt(10, 10, {{"Amount"}, {"128.50"}}, false)},
         {lineAt(10, 10, {{"Amount", 0.8F}, {"128.50", 0.8F}})},
         {"Amount 128.50"}},
        {"low words the layout boxed tight, beside a detected line's tall boxes, are not read twice",
         {tall(lineAt(10, 10, {{"and", 0.95F, true}, {"many", 0.95F, true}, {"more", 0.95F, true}}))},
         {ReadLine{{10, 15, 120, 7},
                   "and many more",
                   0.9F,
                   {{"and", 0.9F, {10, 15, 30, 7}, true},
                    {"many", 0.9F, {46, 15, 40, 7}, true},
                    {"more", 0.9F, {92, 15, 38, 7}, true}}}},
         {"and many more"}},
        {"a word the detected line misread where the layout read it is not added beside it",
         {lineAt(10, 10, {{"Transaction", 0.95F, true}, {"amont", 0.9F}, {"62,00", 0.9F}})},
         {plusWord(lineAt(10, 10, {{"Transaction", 0.9F, true}, {"amount", 0.93F, true}}), "62,00", 0.9F, 220)},
         {"Transaction amont 62,00"}},
        {"lines of a turned page sharing rows are not woven, and a word one line lacks goes into its own",
         {lineAt(10, 10, {{"similar"}, {"level"}, {"to"}, {"HTML,"}}), lineAt(12, 17, {{"using"}, {"your"}, {"PDF."}})},
         {lineAt(10, 11, {{"similar"}, {"level"}, {"to"}, {"HTML,"}}),
          plusWord(lineAt(12, 18, {{"using"}, {"your"}, {"PDF."}}), "Is", 0.9F, 190)},
         {"similar level to HTML,", "using your PDF. Is"}},
        {"a line of prose keeps the layout's reading where it is as sure, a label the detected one",
         {lineAt(10, 10,
                 {{"the", 0.95F, true},
                  {"model", 0.95F, true},
                  {"is", 0.95F, true},
                  {"ftted", 0.95F},
                  {"to", 0.95F, true},
                  {"data", 0.95F, true}}),
          lineAt(10, 40, {{"Fitted", 0.95F, true}, {"model", 0.95F, true}})},
         {lineAt(10, 10,
                 {{"the", 0.9F, true},
                  {"model", 0.9F, true},
                  {"is", 0.9F, true},
                  {"fitted", 0.9F, true},
                  {"to", 0.9F, true},
                  {"data", 0.9F, true}}),
          lineAt(10, 40, {{"Fltted", 0.95F}, {"model", 0.95F, true}})},
         {"the model is fitted to data", "Fitted model"}},
        {"in a line of prose the layout keeps, a network line's lookalike digit, and a number read partly as letters",
         {ReadLine{{10, 10, 400, 14}, "Exit status is 0 if all input was read", 0.9F, {}},
          ReadLine{{10, 40, 90, 14}, "346159.60", 0.5F, {}}},
         {lineAt(10, 10,
                 {{"Exit", 0.95F, true},
                  {"status", 0.95F, true},
                  {"is", 0.95F, true},
                  {"O", 0.95F},
                  {"if", 0.95F, true},
                  {"all", 0.95F, true},
                  {"input", 0.95F, true},
                  {"was", 0.95F, true},
                  {"read", 0.95F, true}}),
          lineAt(10, 40, {{"3ab159.60", 0.4F}})},
         {"Exit status is 0 if all input was read", "346159.60"}},
        {"a lookalike of the line below, whose box a tall detected line reaches, is not taken",
         {ReadLine{{10, 0, 110, 35}, "The dog ran", 0.9F, {}}, ReadLine{{10, 20, 110, 20}, "the cat sat", 0.9F, {}}},
         {lineAt(10, 3, {{"The", 0.95F, true}, {"dog", 0.95F, true}, {"ran", 0.95F, true}}),
          lineAt(10, 23, {{"the", 0.95F, true}, {"cat", 0.95F, true}, {"sat", 0.95F, true}})},
         {"The dog ran", "the cat sat"}},
        {"a line read without its spaces takes the layout's words of prose in it",
         {ReadLine{{10, 10, 300, 14}, "themodelisfittedtothedata", 0.8F, {}}},
         {lineAt(10, 10,
                 {{"the", 0.7F, true},
                  {"model", 0.7F, true},
                  {"is", 0.7F, true},
                  {"fitted", 0.7F, true},
                  {"to", 0.7F, true},
                  {"the", 0.7F, true},
                  {"data", 0.7F, true}})},
         {"the model is fitted to the data"}},
        {"a box without height or width, or not finite, on either side, is left out",
         {ReadLine{{10, 10, 40, 0}, "Ghost", 0.9F, {{"Ghost", 0.9F, {10, 10, 40, 0}, true}}},
          ReadLine{{10, 10, std::numeric_limits<float>::quiet_NaN(), 14}, "Nan", 0.9F, {}}, lineAt(10, 40, {{"Name"}})},
         {ReadLine{{10, 10, 0, 14}, "Flat", 0.9F, {{"Flat", 0.9F, {10, 10, 0, 14}, true}}},
          ReadLine{{10, 10, std::numeric_limits<float>::infinity(), 14}, "Far", 0.9F, {}}, lineAt(10, 40, {{"Name"}})},
         {"Name"}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(textsOf(mergedLineReadings(testCase.detected, testCase.laidOut)), testCase.expected);
    }
}

// The weights a merge chooses readings by (a known word's worth above its
// confidence) are not the recogniser's confidence a line is written with.
TEST(MergedLineReadings, ALineIsWrittenWithItsWordsConfidenceNotTheWorthItWasChosenBy) {
    struct Case {
        std::string name;
        std::vector<ReadLine> detected;
        std::vector<ReadLine> laidOut;
        std::vector<std::pair<std::string, float>> expected;
    };
    const std::vector<Case> cases{
        {"a known word only the layout found, as a line of its own",
         {ReadLine{{0, 20, 200, 20}, "alpha beta gamma", 0.99F, {}}},
         {ReadLine{{0, 0, 200, 40},
                   "beyond delta",
                   0.95F,
                   {{"beyond", 0.95F, {10, 0, 50, 18}, true}, {"delta", 0.95F, {150, 22, 50, 18}, true}}}},
         {{"beyond", 0.95F}, {"alpha beta gamma", 0.99F}}},
        {"a line read without its spaces, taking the layout's words it is wholly sure of and knows",
         {ReadLine{{10, 10, 300, 14}, "themodelisfittedtothedata", 0.8F, {}}},
         {plusWord(lineAt(10, 10,
                          {{"the", 1.0F, true},
                           {"model", 1.0F, true},
                           {"is", 1.0F, true},
                           {"fitted", 1.0F, true},
                           {"to", 1.0F, true},
                           {"the", 1.0F, true},
                           {"data", 1.0F, true}}),
                   "~", 0.3F, 400)},
         {{"the model is fitted to the data", 1.0F}}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        std::vector<std::pair<std::string, float>> written;
        for (const ReadLine& line : mergedLineReadings(testCase.detected, testCase.laidOut)) {
            written.emplace_back(line.text, line.confidence);
        }
        EXPECT_EQ(written, testCase.expected);
    }
}

// Lines of a few words strewn over a small area, so that readings overlap,
// share rows and weave in every way the merge meets.
std::vector<ReadLine> strewnLines(std::mt19937& random, bool withWords) {
    static const std::vector<std::string> texts{"copyleft", "execute", "|", "0", "O", "12.5", "a", "the", "ftted",
                                                "fitted",   "Name:",   "]", "x", "::", "technica]", "346159.60"};
    std::uniform_int_distribution<std::size_t> lineCount(0, 4);
    std::uniform_int_distribution<std::size_t> wordCount(1, 7);
    std::uniform_int_distribution<std::size_t> text(0, texts.size() - 1);
    std::uniform_real_distribution<float> place(0, 120);
    std::uniform_real_distribution<float> size(0, 30);
    std::uniform_real_distribution<float> unit(0, 1);
    std::bernoulli_distribution coin;
    std::vector<ReadLine> lines(lineCount(random));
    for (ReadLine& line : lines) {
        float x = place(random);
        const float y = place(random) / 4;
        const float height = 1 + size(random);
        const std::size_t words = wordCount(random);
        for (std::size_t index = 0; index < words; ++index) {
            // Known words wholly sure of are where a weight passes 1.
            const float confidence = coin(random) ? 1.0F : unit(random);
            const cv::Rect2f box(x, y + size(random) / 8, 2 + size(random), height);
            line.words.push_back({texts[text(random)], confidence, box, coin(random)});
            line.text += (line.text.empty() ? "" : " ") + line.words.back().text;
            line.box = index == 0 ? box : (line.box | box);
            line.confidence = index == 0 ? confidence : std::min(line.confidence, confidence);
            x = box.br().x + size(random) / 3;
        }
        if (!withWords) {
            line.words.clear();
        }
    }
    return lines;
}

TEST(MergedLineReadings, EveryConfidenceWrittenIsARecognisersFromZeroToOne) {
    std::mt19937 random(20261210);
    std::bernoulli_distribution coin;
    for (int round = 0; round < 3000; ++round) {
        const std::vector<ReadLine> detected = strewnLines(random, coin(random));
        const std::vector<ReadLine> laidOut = strewnLines(random, true);
        for (const ReadLine& line : mergedLineReadings(detected, laidOut)) {
            SCOPED_TRACE("round " + std::to_string(round) + ": " + line.text);
            ASSERT_TRUE(std::isfinite(line.confidence) && line.confidence >= 0 && line.confidence <= 1)
                << line.confidence;
            for (const ReadWord& word : line.words) {
                ASSERT_TRUE(word.confidence >= 0 && word.confidence <= 1) << word.text << " " << word.confidence;
            }
        }
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
