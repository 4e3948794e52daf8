#include "system/system_string.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "mcp/core/json.hpp"
#include "system/file_path.hpp"
#include "system/system_coders.hpp"

namespace lumenary::system {
namespace {

std::vector<int> storageOf(const SystemString& string) {
    std::vector<int> raw;
    for (const SystemChar character : string.nullTerminatedStorage()) raw.push_back(character.rawValue());
    return raw;
}

std::vector<SystemChar> characters(std::string_view text) {
    std::vector<SystemChar> result;
    for (const char byte : text) result.push_back(SystemChar::fromByte(byte));
    return result;
}

TEST(SystemStringFromText, EndsAtTheFirstNULAndKeepsOneTerminator) {
    EXPECT_EQ(storageOf(SystemString::fromText(std::string_view("a\0b", 3))), (std::vector<int>{97, 0}));
    const SystemString empty = SystemString::fromText("");
    EXPECT_EQ(storageOf(empty), std::vector<int>{0});
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(empty.description(), "");
    EXPECT_EQ(empty, SystemString());
    EXPECT_EQ(storageOf(SystemString::fromCString("usr")), (std::vector<int>{117, 115, 114, 0}));
    EXPECT_EQ(storageOf(SystemString(SystemChar::fromByte('x'), 2)), (std::vector<int>{120, 120, 0}));
}

// A default view points nowhere; its copy must not hand that pointer on
// (the sanitizer build reports it).
TEST(SystemStringFromText, AViewWithoutCharactersIsTheEmptyString) {
    EXPECT_EQ(SystemString::fromText(std::string_view()), SystemString());
    EXPECT_TRUE(FilePath(std::string_view()).isEmpty());
}

TEST(SystemStringText, IllFormedBytesReadAsReplacementAndFailValidation) {
    const SystemString string = SystemString::fromText("\xFF");
    EXPECT_EQ(string.description(), "\xEF\xBF\xBD");
    EXPECT_EQ(string.validatedText(), std::nullopt);
    EXPECT_EQ(SystemString::fromText("caf\xC3\xA9").validatedText(), "caf\xC3\xA9");
    EXPECT_EQ(SystemString::fromText("a\"b\n").debugDescription(), "\"a\\\"b\\n\"");
}

TEST(SystemCharOrder, BytesAbove0x7FSortBeforeASCII) {
    EXPECT_LT(SystemChar(-1), SystemChar(65));
    EXPECT_GT(SystemChar(65), SystemChar::fromByte('\x80'));
}

TEST(SystemStringEdits, KeepTheTerminatorLast) {
    SystemString string = SystemString::fromText("ace");
    EXPECT_TRUE(string.insert(SystemChar::fromByte('b'), 1));
    EXPECT_TRUE(string.append(characters("fg")));
    EXPECT_TRUE(string.replaceSubrange(3, 4, characters("DEX")));
    EXPECT_EQ(string.bytes(), "abcDEXfg");
    EXPECT_EQ(string.remove(5).byte(), 'X');
    EXPECT_EQ(string.removeFirst().byte(), 'a');
    string.removeFirst(2);
    string.removeSubrange(string.endIndex() - 1, string.endIndex());
    EXPECT_TRUE(string.set(0, SystemChar::fromByte('d')));
    string.swapAt(0, 1);
    EXPECT_EQ(string.bytes(), "Edf");
    EXPECT_EQ(storageOf(string).back(), 0);
    EXPECT_EQ(string.partition([](SystemChar c) { return c.byte() == 'E'; }), 2);
    EXPECT_EQ(string[2].byte(), 'E');
}

// Every edit that would put a NUL among the characters is refused whole.
TEST(SystemStringEdits, RefuseANULAndLeaveTheStringAsItWas) {
    SystemString string = SystemString::fromText("abc");
    const std::vector<SystemChar> withNUL{SystemChar::fromByte('x'), SystemChar(0)};
    EXPECT_FALSE(string.set(1, SystemChar(0)));
    EXPECT_FALSE(string.append(SystemChar(0)));
    EXPECT_FALSE(string.append(withNUL));
    EXPECT_FALSE(string.insert(withNUL, 0));
    EXPECT_FALSE(string.replaceSubrange(0, 3, withNUL));
    EXPECT_EQ(storageOf(string), (std::vector<int>{97, 98, 99, 0}));
}

TEST(SystemStringEdits, RemoveAllKeepsTheStorageOnlyWhenAsked) {
    SystemString kept = SystemString::fromText("abc");
    kept.reserveCapacity(100);
    EXPECT_GE(kept.capacity(), 100u);
    kept.removeAll(true);
    EXPECT_EQ(storageOf(kept), std::vector<int>{0});
    EXPECT_GE(kept.capacity(), 100u);

    SystemString fresh = SystemString::fromText("abc");
    fresh.reserveCapacity(100);
    fresh.removeAll(false);
    EXPECT_EQ(storageOf(fresh), std::vector<int>{0});
    EXPECT_LT(fresh.capacity(), 100u);
}

TEST(SystemStringEdits, RemoveAllWhereKeepsOrderAndAThrowingPredicateChangesNothing) {
    SystemString string = SystemString::fromText("a1b2c3");
    string.removeAll([](SystemChar c) { return c.byte() >= '0' && c.byte() <= '9'; });
    EXPECT_EQ(string.bytes(), "abc");
    EXPECT_THROW(string.removeAll([](SystemChar c) -> bool {
        if (c.byte() == 'c') throw std::runtime_error("stop");
        return true;
    }),
                 std::runtime_error);
    EXPECT_EQ(string.bytes(), "abc");
}

TEST(SystemStringCopies, AreIndependentAfterAnEdit) {
    const SystemString original = SystemString::fromText("abc");
    SystemString copy = original;
    EXPECT_TRUE(copy.append(SystemChar::fromByte('d')));
    EXPECT_EQ(original.bytes(), "abc");
    EXPECT_EQ(copy.bytes(), "abcd");
    EXPECT_EQ(std::hash<SystemString>{}(original), std::hash<SystemString>{}(SystemString::fromText("abc")));
    EXPECT_NE(original, copy);
}

TEST(SystemStringDeathTest, IndicesOutsideTheCharactersStopTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SystemString string = SystemString::fromText("ab");
    EXPECT_DEATH(static_cast<void>(string[2]), "Fatal error: SystemString index out of range");
    EXPECT_DEATH(string.set(2, SystemChar::fromByte('x')), "SystemString index out of range");
    EXPECT_DEATH(static_cast<void>(string[-1]), "SystemString index out of range");
    EXPECT_DEATH(string.replaceSubrange(1, 3, {}), "SystemString range out of bounds");
    EXPECT_DEATH(string.removeSubrange(0, 3), "SystemString range out of bounds");
    EXPECT_DEATH(SystemString().removeFirst(), "empty SystemString");
    EXPECT_DEATH(string.removeFirst(-1), "count out of range");
    EXPECT_DEATH(SystemString(SystemChar::fromByte('x'), -1), "negative count");
}

struct StringDecodeCase {
    const char* json;
    bool valid;
};

class SystemStringDecoding : public ::testing::TestWithParam<StringDecodeCase> {};

TEST_P(SystemStringDecoding, ChecksTheTerminatorInvariants) {
    const mcp::Value value = mcp::parseJSON(GetParam().json);
    if (GetParam().valid) {
        EXPECT_EQ(mcp::writeJSON(mcp::encodeValue(mcp::decodeValue<SystemString>(value))), GetParam().json);
        return;
    }
    try {
        mcp::decodeValue<SystemString>(value);
        ADD_FAILURE() << "decoded";
    } catch (const mcp::DecodingError& error) {
        EXPECT_EQ(error.kind(), mcp::DecodingError::Kind::dataCorrupted);
        EXPECT_EQ(error.codingPath(), mcp::CodingPath{"nullTerminatedStorage"});
        EXPECT_EQ(error.description(), "Encoding does not satisfy the invariants of SystemString");
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, SystemStringDecoding,
                         ::testing::Values(StringDecodeCase{R"({"nullTerminatedStorage":[]})", false},
                                           StringDecodeCase{R"({"nullTerminatedStorage":[97]})", false},
                                           StringDecodeCase{R"({"nullTerminatedStorage":[97,0,98,0]})", false},
                                           StringDecodeCase{R"({"nullTerminatedStorage":[0,0]})", false},
                                           StringDecodeCase{R"({"nullTerminatedStorage":[97,0]})", true},
                                           StringDecodeCase{R"({"nullTerminatedStorage":[-1,0]})", true},
                                           StringDecodeCase{R"({"nullTerminatedStorage":[0]})", true}));

}  // namespace
}  // namespace lumenary::system
