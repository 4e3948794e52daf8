#include <gtest/gtest.h>

#include "platform/contacts/contact_name_match.hpp"
#include "platform/text/contiguous_search.hpp"
#include "platform/text/text_words.hpp"

namespace lumenary::platform {
namespace {

using Words = std::vector<std::string>;

TEST(TextWordsTest, TrimsUnicodeWhiteSpace) {
    EXPECT_EQ(trimmedWhiteSpace(" \t\n\u00A0\u3000Ana Lee\u2028\r "), "Ana Lee");
    EXPECT_EQ(trimmedWhiteSpace("\u00A0 \n"), "");
    EXPECT_EQ(trimmedWhiteSpace("Zoë"), "Zoë");
}

TEST(TextWordsTest, SplitsLowerCasedWords) {
    EXPECT_EQ(lowercasedWords("Anne-Marie O'Neil, Jr."), (Words{"anne", "marie", "o", "neil", "jr"}));
    EXPECT_EQ(lowercasedWords("ÉMILE Zoë Ŝ2"), (Words{"émile", "zoë", "ŝ2"}));
    EXPECT_EQ(lowercasedWords("王伟 call"), (Words{"王", "伟", "call"}));
    EXPECT_EQ(lowercasedWords(" -- "), Words{});
}

TEST(TextWordsTest, FindsWholeWordSequences) {
    const Words query{"please", "call", "ana", "lee"};
    EXPECT_TRUE(containsWordSequence(query, {"ana", "lee"}));
    EXPECT_FALSE(containsWordSequence(query, {"lee", "ana"}));
    EXPECT_FALSE(containsWordSequence(query, {"an"}));
    EXPECT_FALSE(containsWordSequence(query, {}));
}

TEST(TextWordsTest, FindsContiguousRunsOfRepeatingText) {
    struct Case {
        std::string text;
        std::string pattern;
        bool found;
    };
    const Case cases[] = {
        {"aaab", "aab", true},       {"abababc", "ababc", true}, {"abababd", "ababc", false},
        {"aabaaab", "aaab", true},   {"abc", "abcd", false},     {"abc", "", true},
        {"", "a", false},            {"xyz", "xyz", true},       {"abacabab", "abab", true},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(containsContiguous<char>(testCase.text, testCase.pattern), testCase.found)
            << testCase.text << " / " << testCase.pattern;
    }
    const Words words{"a", "a", "b", "a", "a", "a", "b"};
    EXPECT_TRUE(containsWordSequence(words, {"a", "a", "a", "b"}));
    EXPECT_FALSE(containsWordSequence(words, {"a", "a", "a", "a"}));
}

TEST(ContactNameMatchTest, EveryWordBeginsAWordOfTheContactsNames) {
    const StoreContact contact{
        .name = ContactName{.familyName = "García Márquez", .givenName = "Ana", .otherNames = {"Sofía", "Dr."}},
        .formattedName = "Dr. Ana García",
        .nicknames = {"Nena"},
        .phoneNumbers = {"1"}};
    struct Case {
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"Ana", true},       {"ana garc", true}, {"MÁRQUEZ", true}, {"sofía ana", true}, {"nen", true},
        {"dr", true},        {"na", false},      {"ana lee", false}, {"arcía", false},   {"", false},
        {"   ", false},      {"--", false},
        // Words that begin one another, and words said twice.
        {"an ana", true},    {"ana an", true},   {"ana ana", true},  {"garc garcía gar", true},
        {"ann ana", false},  {"anas", false},    {"sofía sofíaa", false},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(ContactNameMatch(testCase.name).matches(contact), testCase.matches) << testCase.name;
    }
}

}  // namespace
}  // namespace lumenary::platform
