#include <gtest/gtest.h>

#include <regex>

#include "mcp/core/id.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::mcp {
namespace {

ID decodedID(std::string_view text) {
    return decodeValue<ID>(parseJSON(text));
}

TEST(RequestID, KeepsItsJSONForm) {
    EXPECT_EQ(decodedID(R"("1")"), ID("1"));
    EXPECT_EQ(decodedID("1"), ID(1));
    EXPECT_NE(ID("1"), ID(1));
    EXPECT_NE(ID("1").hash(), ID(1).hash());
    EXPECT_EQ(decodedID("-7").description(), "-7");
    EXPECT_EQ(writeJSON(encodeValue(decodedID("null"))), R"("")");
    EXPECT_EQ(writeJSON(encodeValue(ID(42))), "42");
}

TEST(RequestID, ADataURLIDComesBackAsItWasSent) {
    // The reader takes the text for bytes; the id must not be rewritten, or
    // the client could not match the reply to its request.
    const auto id = decodedID(R"("data:,x")");
    EXPECT_EQ(id, ID("data:,x"));
    EXPECT_EQ(writeJSON(encodeValue(id)), R"("data:,x")");
}

TEST(RequestID, RefusesOtherJSONValues) {
    for (const char* text : {"true", "1.5", "[]", "{}"}) {
        try {
            decodedID(text);
            FAIL() << text;
        } catch (const DecodingError& error) {
            EXPECT_EQ(error.description(), "ID must be string or number");
        }
    }
}

TEST(RequestID, RandomIDsAreFreshUpperCaseUUIDs) {
    const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    const auto first = ID::random();
    const auto second = ID::random();
    EXPECT_NE(first, second);
    ASSERT_TRUE(first.isString());
    EXPECT_TRUE(std::regex_match(*first.stringValue(), uuid)) << *first.stringValue();
}

}  // namespace
}  // namespace lumenary::mcp
