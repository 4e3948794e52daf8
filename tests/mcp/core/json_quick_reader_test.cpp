#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "mcp/core/json.hpp"
#include "mcp/core/json_quick_reader.hpp"

namespace lumenary::mcp {
namespace {

// Nested deeper than the quick reader goes, a text reaches the full reader.
constexpr std::size_t fullReaderDepth = 100;

Value readByTheFullReader(const std::string& text) {
    auto value = parseJSON(std::string(fullReaderDepth, '[') + text + std::string(fullReaderDepth, ']'));
    for (std::size_t level = 0; level < fullReaderDepth; ++level) {
        value = Value(value.arrayValue()->front());
    }
    return value;
}

TEST(JSONQuickReader, ReadsWhatTheFullReaderReads) {
    const std::initializer_list<std::string> texts{
        R"({"jsonrpc":"2.0","id":7,"method":"ping"})",
        R"({"jsonrpc":"2.0","id":"a-1","method":"tools/call",)"
        R"("params":{"name":"x","arguments":{"n":[1,2.5,-3e2,true,false,null]}}})",
        " \t\r\n{ \"a\" : [ 1 , { } , [ ] ] }\n",
        R"({"a":1,"b":2,"a":3})",
        R"("quote \" backslash \\ slash \/ \b\f\n\r\t")",
        "\"gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80\"",
        R"(["data:,hello","data:image/png;base64,%%%","data:"])",
        R"([0,-0,123456789012345678,-123456789012345678,0.1,1E2,1e-3,-2.5E+3,5e-324,1.7976931348623157e308])",
    };
    for (const auto& text : texts) {
        const auto quick = readCommonJSON(text);
        ASSERT_TRUE(quick.has_value()) << text;
        EXPECT_EQ(*quick, readByTheFullReader(text)) << text;
        EXPECT_EQ(writeJSON(*quick), writeJSON(readByTheFullReader(text))) << text;
    }
    EXPECT_TRUE(std::signbit(*readCommonJSON("-0.0")->doubleValue()));
    EXPECT_EQ(readCommonJSON(R"("data:,hello")")->dataValue()->sourceText, "data:,hello");
}

// Each of these the full reader reads differently from a plain scan, or
// refuses with a reason of its own.
TEST(JSONQuickReader, LeavesEverythingElseToTheFullReader) {
    for (const std::string& text : std::initializer_list<std::string>{
             std::string(),
             "   ",
             "[1,]",
             "{\"a\":1,}",
             "01",
             "-",
             "1.",
             "1e",
             "+1",
             ".5",
             "tru",
             "nul",
             "{\"a\" 1}",
             "{a:1}",
             "[1 2]",
             "{} {}",
             R"("\u0041")",
             R"("\x")",
             "\"a\x01\"",
             "\"\xC3\x28\"",
             "\"\xC0\xAF\"",
             "\"open",
             "1234567890123456789",
             "1e400",
             "1e-400",
             "\xEF\xBB\xBF{}",
             std::string(65, '[') + std::string(65, ']'),
         }) {
        EXPECT_FALSE(readCommonJSON(text).has_value()) << text;
    }
}

}  // namespace
}  // namespace lumenary::mcp
