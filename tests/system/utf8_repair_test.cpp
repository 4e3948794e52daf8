#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/utf8.hpp"

namespace lumenary::system {
namespace {

// Written as U+FFFD's bytes so that a table row shows exactly what was cut.
const std::string R = "\xEF\xBF\xBD";

TEST(UTF8Repair, ReplacesEachMaximalIllFormedSubpartWithOneReplacementCharacter) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string repaired;
    };
    const std::vector<Case> cases = {
        {"well-formed text is unchanged", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"empty", "", ""},
        {"lone continuation bytes, one each", "a\x80\xBF" "b", "a" + R + R + "b"},
        {"bytes that never lead", "\xC0\xC1\xF5\xFF", R + R + R + R},
        {"overlong two-byte form", "\xC0\xAF", R + R},
        {"overlong three-byte form: E0 cannot take 80", "\xE0\x80\xBF", R + R + R},
        {"overlong four-byte form: F0 cannot take 81", "\xF0\x81\x82\x41", R + R + R + "A"},
        {"surrogates: ED cannot take A0 or BF", "\xED\xA0\x80\xED\xBF\xBF", R + R + R + R + R + R},
        {"past U+10FFFF: F4 cannot take 90", "\xF4\x90\x80\x80", R + R + R + R},
        {"truncated sequences are one subpart each", "\xE1\x80\xE2\xF0\x91\x92\xF1\xBF\x41", R + R + R + R + "A"},
        {"truncated at the very end", "ok\xF0\x9F\x98", "ok" + R},
        {"a lead byte cut short by ASCII", "\xC3" "A", R + "A"},
        {"a lead byte cut short by another lead", "\xE2\x82\xC3\xA9", R + "\xC3\xA9"},
        {"the mixed example of the Unicode standard",
         "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64", "a" + R + R + R + "b" + R + "c" + R + R + "d"},
        {"after the fourth byte a new sequence starts", "\xF4\x91\x92\x93\xFF\x41\x80\xBF\x42",
         R + R + R + R + R + "A" + R + R + "B"},
    };
    for (const auto& [name, bytes, repaired] : cases) {
        EXPECT_EQ(repairUTF8(bytes), repaired) << name;
        EXPECT_TRUE(isValidUTF8(repairUTF8(bytes))) << name;
    }
}

}  // namespace
}  // namespace lumenary::system
