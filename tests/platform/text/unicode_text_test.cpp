#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/unicode_text.hpp"

namespace lumenary::platform {
namespace {

TEST(UnicodeText, LowerCasesFullyByTheRootLocaleRules) {
    struct Case {
        const char* name;
        std::string text;
        std::string lower;
    };
    const std::vector<Case> cases = {
        {"ASCII", "Team Meeting 10AM", "team meeting 10am"},
        {"German umlauts", "ÄÖÜ Straße", "äöü straße"},
        // The Turkish rules (dotless ı from I) never apply: the root locale's
        // dotted capital I becomes i with a combining dot above.
        {"Turkish capitals", "İSTANBUL", "i\xCC\x87stanbul"},
        {"Greek final sigma", "ΟΔΟΣ ΣΟΦΙΑΣ", "οδος σοφιας"},
        {"Cyrillic", "МОСКВА", "москва"},
        {"already lower", "déjà vu", "déjà vu"},
        {"invalid bytes are repaired first", "A\xFF" "B\xC3", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},
        {"empty", "", ""},
    };
    for (const auto& [name, text, lower] : cases) {
        EXPECT_EQ(lowercased(text), lower) << name;
    }
}

TEST(UnicodeText, ComparesOnLowerCasedForms) {
    struct Case {
        std::string text;
        std::string needle;
        bool contains;
        bool equals;
    };
    const std::vector<Case> cases = {
        {"Homework", "WORK", true, false},
        {"Work", "work", true, true},
        {"Work", "work ", false, false},
        {"Ärzte und Zahnärzte", "ZAHNÄRZTE", true, false},
        {"ΟΔΟΣ", "οδος", true, true},
        {"Ünal", "ünal", true, true},
        {"Reminders", "", true, false},
        {"", "", true, true},
        {"", "a", false, false},
        {"caf\xC3", "CAF\xEF\xBF\xBD", true, true},
    };
    for (const auto& [text, needle, contains, equals] : cases) {
        EXPECT_EQ(containsIgnoringCase(text, needle), contains) << text << " / " << needle;
        EXPECT_EQ(equalsIgnoringCase(text, needle), equals) << text << " / " << needle;
    }
}

}  // namespace
}  // namespace lumenary::platform
