#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "mcp/core/coders.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::mcp {
namespace {

TEST(JSONReading, ScalarsKeepTheirJSONKind) {
    EXPECT_EQ(parseJSON("2"), Value(2));
    EXPECT_EQ(parseJSON("2").kind(), Value::Kind::integer);
    EXPECT_EQ(parseJSON("2.5"), Value(2.5));
    EXPECT_EQ(parseJSON("2.0").kind(), Value::Kind::number);
    EXPECT_EQ(parseJSON("\"1\"").kind(), Value::Kind::string);
    EXPECT_EQ(parseJSON("true").kind(), Value::Kind::boolean);
    EXPECT_EQ(parseJSON("null").kind(), Value::Kind::null);
    EXPECT_EQ(parseJSON("{}"), Value(Value::Object{}));
    EXPECT_EQ(parseJSON("[null]"), Value::array({Value()}));
}

TEST(JSONReading, NumbersAtTheEdges) {
    EXPECT_EQ(parseJSON("-0"), Value(0));
    EXPECT_TRUE(std::signbit(*parseJSON("-0.0").doubleValue()));
    EXPECT_EQ(parseJSON("9223372036854775807"), Value(std::numeric_limits<std::int64_t>::max()));
    EXPECT_EQ(parseJSON("-9223372036854775808"), Value(std::numeric_limits<std::int64_t>::min()));
    // Beyond 64 bits an integer reads as the nearest double, never as an error.
    EXPECT_EQ(parseJSON("9223372036854775808"), Value(9223372036854775808.0));
    EXPECT_EQ(parseJSON("123456789012345678901234567890"), Value(1.2345678901234568e29));
}

TEST(JSONReading, DataURLTextsReadAsBytes) {
    EXPECT_EQ(parseJSON(R"("data:,hello")"), Value::data("hello", "text/plain"));
    // Matches the pattern but does not decode: stays text.
    EXPECT_EQ(parseJSON(R"("data:image/png;base64,%%%")"), Value("data:image/png;base64,%%%"));
}

TEST(JSONReading, DataURLsKeepTheirTextForTypedFields) {
    const auto value = parseJSON(R"("data:,hello")");
    EXPECT_EQ(value.dataValue()->sourceText, "data:,hello");
    EXPECT_EQ(value, Value::data("hello", "text/plain")) << "the source text is not part of the value";
    EXPECT_EQ(value.hash(), Value::data("hello", "text/plain").hash());
    EXPECT_EQ(decodeValue<std::string>(value), "data:,hello");
    EXPECT_EQ(writeJSON(value), R"("data:text/plain;base64,aGVsbG8=")");
}

TEST(JSONReading, DuplicateKeysKeepTheLastValue) {
    EXPECT_EQ(parseJSON(R"({"a":1,"a":2})"), Value::object({{"a", 2}}));
}

struct BadInput {
    std::string name;
    std::string text;
};

// "[0,0,...,0]" with `count` zeros.
std::string manyZeros(std::size_t count) {
    std::string text = "[0";
    for (std::size_t index = 1; index < count; ++index) text += ",0";
    return text + "]";
}

void expectDataCorrupted(const std::string& name, const std::string& text) {
    try {
        parseJSON(text);
        FAIL() << "accepted " << name;
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted);
        EXPECT_TRUE(std::string(error.what()).starts_with("The given data was not valid JSON: ")) << error.what();
    }
}

class JSONBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(JSONBadInput, FailsWithADataCorruptedError) {
    expectDataCorrupted(GetParam().name, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JSONBadInput,
    ::testing::Values(BadInput{"empty", ""}, BadInput{"truncated", "{\"a\":"}, BadInput{"garbage", "nope"},
                      BadInput{"trailing", "{} {}"}, BadInput{"invalidUTF8", "\"\xC3\x28\""},
                      BadInput{"overlong", "\"\xC0\xAF\""}, BadInput{"loneHighSurrogate", R"("\uD800")"},
                      BadInput{"loneLowSurrogate", R"("\uDC00x")"}, BadInput{"overflowingDouble", "1e400"},
                      BadInput{"negativeOverflow", "[-1e999]"}, BadInput{"rawControl", "\"a\x01\""},
                      BadInput{"binaryGarbage", std::string("\x00\xFF\xFE{", 4)},
                      BadInput{"tooDeep", std::string(513, '[') + std::string(513, ']')}),
    [](const auto& testCase) { return testCase.param.name; });

// Apart from the table: its cases are built in every process of this
// program, and this one is four megabytes.
TEST(JSONReading, MoreValuesThanTheLimitFailWithADataCorruptedError) {
    expectDataCorrupted("tooManyValues", manyZeros(maximumJSONValueCount + 1));
}

TEST(JSONReading, NestingUpToTheLimitIsAccepted) {
    const auto text = std::string(maximumJSONNestingDepth, '[') + std::string(maximumJSONNestingDepth, ']');
    EXPECT_NO_THROW(parseJSON(text));
}

TEST(JSONReading, TenMillionOpeningBracketsFailWithoutExhaustingTheStack) {
    const std::string text(10'000'000, '[');
    EXPECT_THROW(parseJSON(text), DecodingError);
}

TEST(JSONReading, FiftyMegabyteStringRoundTrips) {
    const std::string payload(50 * 1024 * 1024, 'x');
    const auto value = parseJSON("\"" + payload + "\"");
    ASSERT_NE(value.stringValue(), nullptr);
    EXPECT_EQ(value.stringValue()->size(), payload.size());
    EXPECT_EQ(writeJSON(value).size(), payload.size() + 2);
}

TEST(JSONWriting, IsCompactWithSortedKeys) {
    const auto value = Value::object({{"b", 1}, {"a", Value::array({true, Value(), "x"})}, {"c", Value::object({})}});
    EXPECT_EQ(writeJSON(value), R"({"a":[true,null,"x"],"b":1,"c":{}})");
}

TEST(JSONWriting, WholeDoublesReadBackAsDoubles) {
    for (double number : {2.0, -0.0, 1e20, 1e300, 0.1, -3.5}) {
        const auto text = writeJSON(Value(number));
        const auto back = parseJSON(text);
        EXPECT_EQ(back.kind(), Value::Kind::number) << text;
        EXPECT_EQ(*back.doubleValue(), number) << text;
    }
    EXPECT_EQ(writeJSON(Value(2.0)), "2.0");
}

TEST(JSONWriting, SlashesAreBareUnlessAsked) {
    EXPECT_EQ(writeJSON(Value("a/b")), R"("a/b")");
    EXPECT_EQ(writeJSON(Value("a/b"), {.escapeSlashes = true}), R"("a\/b")");
}

TEST(JSONWriting, EscapesWhatJSONRequires) {
    EXPECT_EQ(writeJSON(Value(std::string("q\"b\\n\n\t\x01\x1f", 9))), R"("q\"b\\n\n\t\u0001\u001f")");
    EXPECT_EQ(writeJSON(Value("日本")), "\"日本\"");
}

TEST(JSONWriting, RefusesValuesWithoutAJSONForm) {
    EXPECT_THROW(writeJSON(Value(std::numeric_limits<double>::infinity())), EncodingError);
    EXPECT_THROW(writeJSON(Value(std::nan(""))), EncodingError);
    EXPECT_THROW(writeJSON(Value(std::string("\xFF"))), EncodingError);
}

TEST(JSONWriting, DataWritesAsABase64DataURL) {
    EXPECT_EQ(writeJSON(Value::data("Hi", "image/png")), R"("data:image/png;base64,SGk=")");
    // An absent media type reads back as text/plain: not the value first written.
    const auto untyped = Value::data("Hi", std::nullopt);
    EXPECT_EQ(writeJSON(untyped), R"("data:text/plain;base64,SGk=")");
    EXPECT_NE(parseJSON(writeJSON(untyped)), untyped);
    EXPECT_EQ(parseJSON(writeJSON(untyped)), Value::data("Hi", "text/plain"));
}

TEST(JSONWriting, PrettyPrintsOneMemberOrElementALineIndentedByTwoSpaces) {
    struct Case {
        const char* name;
        Value value;
        JSONWriteOptions options;
        std::string text;
    };
    const auto document = Value::object({{"b", Value::array({1, "x/y", Value::object({{"k", true}})})},
                                         {"a", Value::object({})},
                                         {"c", Value::array({})},
                                         {"d", Value()}});
    const std::vector<Case> cases = {
        {"scalar", Value("a/b"), {.prettyPrinted = true}, R"("a/b")"},
        {"empty object", Value::object({}), {.prettyPrinted = true}, "{}"},
        {"empty array", Value::array({}), {.prettyPrinted = true}, "[]"},
        {"flat array", Value::array({1, 2.5}), {.prettyPrinted = true}, "[\n  1,\n  2.5\n]"},
        {"nested document",
         document,
         {.prettyPrinted = true},
         "{\n"
         "  \"a\": {},\n"
         "  \"b\": [\n"
         "    1,\n"
         "    \"x/y\",\n"
         "    {\n"
         "      \"k\": true\n"
         "    }\n"
         "  ],\n"
         "  \"c\": [],\n"
         "  \"d\": null\n"
         "}"},
        {"with escaped slashes",
         Value::object({{"a/b", "c/d"}}),
         {.escapeSlashes = true, .prettyPrinted = true},
         "{\n  \"a\\/b\": \"c\\/d\"\n}"},
        {"inside a text that opened containers of its own",
         Value::object({{"a", Value::array({1})}}),
         {.prettyPrinted = true, .enclosingDepth = 3},
         "{\n  \"a\": [\n    1\n  ]\n}"},
    };
    for (const auto& [name, value, options, text] : cases) {
        EXPECT_EQ(writeJSON(value, options), text) << name;
        EXPECT_EQ(parseJSON(writeJSON(value, options)), value) << name;
    }
}

TEST(JSONWriting, PrettyPrintingKeepsTheNestingLimit) {
    Value nested = Value::array({});
    for (std::size_t level = 1; level <= maximumJSONNestingDepth; ++level) nested = Value::array({nested});
    EXPECT_THROW(writeJSON(nested, {.prettyPrinted = true}), EncodingError);
}

TEST(JSONWriting, RoundTripsAMixedDocument) {
    const std::string text = R"({"content":[{"text":"a/b","type":"text"}],"id":7,"isError":false,"n":[-1,0.5,1e-07]})";
    EXPECT_EQ(writeJSON(parseJSON(text)), text);
}

}  // namespace
}  // namespace lumenary::mcp
