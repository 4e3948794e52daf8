#include "system/file_path.hpp"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "mcp/core/json.hpp"
#include "system/system_coders.hpp"

namespace lumenary::system {
namespace {

struct NormalCase {
    std::string text;
    std::string path;
};

class FilePathConstruction : public ::testing::TestWithParam<NormalCase> {};

TEST_P(FilePathConstruction, HoldsTheSeparatorNormalForm) {
    const FilePath path(GetParam().text);
    EXPECT_EQ(path.bytes(), GetParam().path);
    EXPECT_EQ(path.systemString().nullTerminatedStorage().back().rawValue(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FilePathConstruction,
    ::testing::Values(NormalCase{"", ""}, NormalCase{"/", "/"}, NormalCase{"//", "/"}, NormalCase{"a/b/", "a/b"},
                      NormalCase{"a//b///", "a/b"}, NormalCase{"///a/", "/a"}, NormalCase{"./", "."},
                      NormalCase{"a/./b", "a/./b"}, NormalCase{std::string("a/b\0c", 5), "a/b"},
                      NormalCase{"a\\b", "a\\b"}, NormalCase{"\xFF//\xFE", "\xFF/\xFE"}));

TEST(FilePathConstruction, TheEmptyTextIsTheEmptyPath) {
    EXPECT_EQ(FilePath(""), FilePath());
    EXPECT_TRUE(FilePath().isEmpty());
}

TEST(FilePathConstruction, EqualsAndHashesByItsNormalForm) {
    EXPECT_EQ(FilePath("a//b/"), FilePath("a/b"));
    const std::unordered_set<FilePath> paths{FilePath("a//b/")};
    EXPECT_TRUE(paths.contains(FilePath("a/b")));
    EXPECT_NE(FilePath("a/b"), FilePath("a/B"));
}

// Names are not normalised: precomposed and decomposed "é" are two files.
TEST(FilePathConstruction, KeepsUnicodeNormalisationFormsApart) {
    EXPECT_NE(FilePath("caf\xC3\xA9"), FilePath("cafe\xCC\x81"));
}

TEST(FilePathPlatformString, TakesTheCharactersBeforeTheFirstNUL) {
    const std::vector<SystemChar> array{SystemChar::fromByte('u'), SystemChar::fromByte('s'),
                                        SystemChar::fromByte('r'), SystemChar(0), SystemChar::fromByte('x')};
    EXPECT_EQ(FilePath::fromPlatformString(array).bytes(), "usr");
    EXPECT_EQ(FilePath::fromPlatformString("//tmp//").bytes(), "/tmp");
    const SystemChar terminator(0);
    EXPECT_TRUE(FilePath::fromPlatformString(terminator).isEmpty());
}

TEST(FilePathPlatformStringDeathTest, CharactersWithoutANULStopTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::vector<SystemChar> array{SystemChar::fromByte('u'), SystemChar::fromByte('s')};
    EXPECT_DEATH(FilePath::fromPlatformString(array),
                 "Fatal error: input of FilePath.init\\(platformString:\\) must be null-terminated");
    const SystemChar letter = SystemChar::fromByte('a');
    EXPECT_DEATH(FilePath::fromPlatformString(letter), "must be null-terminated");
}

TEST(FilePathText, IllFormedBytesReadAsReplacement) {
    const FilePath path("\xC3");
    EXPECT_EQ(path.description(), "\xEF\xBF\xBD");
    EXPECT_EQ(path.validatedText(), std::nullopt);
    EXPECT_EQ(FilePath("/tmp/a b").validatedText(), "/tmp/a b");
    EXPECT_EQ(FilePath("/tmp/\"q\"").debugDescription(), "\"/tmp/\\\"q\\\"\"");
    EXPECT_EQ(FilePath("/tmp").withPlatformString([](const char* text) { return std::string(text); }), "/tmp");
}

struct AppendCase {
    std::string path;
    std::string text;
    std::string result;
};

class FilePathAppendText : public ::testing::TestWithParam<AppendCase> {};

TEST_P(FilePathAppendText, AddsTheTextAsARelativePath) {
    EXPECT_EQ(FilePath(GetParam().path).appending(GetParam().text).bytes(), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Texts, FilePathAppendText,
                         ::testing::Values(AppendCase{"a", "b", "a/b"}, AppendCase{"/", "x", "/x"},
                                           AppendCase{"a", "/", "a"}, AppendCase{"a", "//b/", "a/b"},
                                           AppendCase{"", "/x", "/x"}, AppendCase{"a", "", "a"},
                                           AppendCase{"a", "/x", "a/x"}));

TEST(FilePathStorage, RemoveAllKeepsTheStorageOnlyWhenAsked) {
    FilePath path("/a/b");
    path.reserveCapacity(64);
    path.removeAll(true);
    EXPECT_TRUE(path.isEmpty());
    EXPECT_GE(path.systemString().capacity(), 64u);
    path = FilePath("/a/b");
    path.removeAll(false);
    EXPECT_EQ(path, FilePath());
}

TEST(FilePathCoding, CodesItsStorageAsAKeyedRecord) {
    EXPECT_EQ(mcp::writeJSON(mcp::encodeValue(FilePath("/tmp"))),
              R"({"_storage":{"nullTerminatedStorage":[47,116,109,112,0]}})");
}

struct DecodeCase {
    const char* storage;
    bool valid;
};

class FilePathDecoding : public ::testing::TestWithParam<DecodeCase> {};

// A coded path must already be separator-normal; it is never repaired.
TEST_P(FilePathDecoding, RequiresTheSeparatorNormalForm) {
    const mcp::Value value =
        mcp::parseJSON(std::string(R"({"_storage":{"nullTerminatedStorage":)") + GetParam().storage + "}}");
    if (GetParam().valid) {
        EXPECT_NO_THROW(mcp::decodeValue<FilePath>(value));
        return;
    }
    try {
        mcp::decodeValue<FilePath>(value);
        ADD_FAILURE() << "decoded";
    } catch (const mcp::DecodingError& error) {
        EXPECT_EQ(error.kind(), mcp::DecodingError::Kind::dataCorrupted);
        EXPECT_EQ(error.codingPath(), mcp::CodingPath{"_storage"});
        EXPECT_EQ(error.description(), "Encoding does not satisfy the invariants of FilePath");
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, FilePathDecoding,
                         ::testing::Values(DecodeCase{"[97,47,0]", false}, DecodeCase{"[47,47,0]", false},
                                           DecodeCase{"[97,47,47,98,0]", false}, DecodeCase{"[47,0]", true},
                                           DecodeCase{"[0]", true}, DecodeCase{"[97,47,98,0]", true}));

}  // namespace
}  // namespace lumenary::system
