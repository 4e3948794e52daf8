#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/notes/note_file_name.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {
namespace {

TEST(NoteFileName, KeepsANameInItsFolderAndVisible) {
    struct Case {
        const char* why;
        std::string name;
        std::string fileName;
    };
    const std::vector<Case> cases{
        {"an ordinary title stays", "Budget 2025: \"Q1\" & more", "Budget 2025: \"Q1\" & more"},
        {"non-Latin text stays", "会议记录 – Überblick", "会议记录 – Überblick"},
        {"a slash cannot name a folder", "a/b/c", "a_b_c"},
        {"a climb out becomes a plain name", "../../etc/passwd", "_._.._etc_passwd"},
        {"dot dot alone", "..", "_."},
        {"dot alone", ".", "_"},
        {"a leading dot would hide the note", ".hidden", "_hidden"},
        {"a dot later is fine", "v1.2", "v1.2"},
        {"line feed, tab, NUL and DEL", std::string("a\nb\tc") + '\0' + "d\x7f", "a_b_c_d_"},
        {"C1 controls too", "a\xc2\x85z", "a_z"},
        {"a backslash is an ordinary character", "a\\b", "a\\b"},
        {"nothing at all", "", "_"},
        {"bytes that are not UTF-8 are repaired", "caf\xe9", "caf\xef\xbf\xbd"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.why);
        EXPECT_EQ(fileSystemName(testCase.name), testCase.fileName);
    }
}

TEST(NoteFileName, CutsToOneFileNameOnACharacterBoundaryWithItsEndingAndNumber) {
    struct Case {
        const char* why;
        std::string stem;
        std::size_t number;
        std::string expectedStem;
        std::string expectedEnding;
    };
    const std::string longASCII(300, 'a');
    // 100 three-byte characters: 300 bytes.
    std::string longChinese;
    for (int index = 0; index < 100; ++index) {
        longChinese += "记";
    }
    const std::vector<Case> cases{
        {"short names stay whole", "Plan", 1, "Plan", ".md"},
        {"a clash number goes before the extension", "Plan", 2, "Plan", " 2.md"},
        {"a long name is cut to fit", longASCII, 1, longASCII.substr(0, 252), ".md"},
        {"and cut further to fit its number", longASCII, 12, longASCII.substr(0, 249), " 12.md"},
        // 252 bytes of room hold 84 whole characters.
        {"never inside a character", longChinese, 1, longChinese.substr(0, 252), ".md"},
        // 250 bytes of room hold 83 whole characters (249 bytes).
        {"nor with a number", longChinese, 3, longChinese.substr(0, 249), " 3.md"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.why);
        const auto name = numberedFileName(testCase.stem, testCase.number, ".md");
        EXPECT_EQ(name, testCase.expectedStem + testCase.expectedEnding);
        EXPECT_LE(name.size(), maximumFileNameBytes);
        EXPECT_TRUE(system::isValidUTF8(name));
    }
}

}  // namespace
}  // namespace lumenary::platform
