#include <gtest/gtest.h>

#include "mcp/core/base64.hpp"
#include "mcp/core/data_url.hpp"

namespace lumenary::mcp {
namespace {

struct DataURLCase {
    const char* text;
    bool matches;
    std::optional<std::string> mimeType;  // absent: does not parse
    std::string data;
};

class DataURLParsing : public ::testing::TestWithParam<DataURLCase> {};

TEST_P(DataURLParsing, MatchesAndParses) {
    const auto& c = GetParam();
    EXPECT_EQ(isDataURL(c.text), c.matches);
    const auto parsed = parseDataURL(c.text);
    ASSERT_EQ(parsed.has_value(), c.mimeType.has_value());
    if (parsed) {
        EXPECT_EQ(parsed->mimeType, *c.mimeType);
        EXPECT_EQ(parsed->data, c.data);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataURLParsing,
    ::testing::Values(DataURLCase{"data:,A%20B", true, "text/plain", "A B"},
                      DataURLCase{"data:,", true, "text/plain", ""},
                      DataURLCase{"data:,a+b", true, "text/plain", "a+b"},
                      DataURLCase{"data:text/plain;charset=utf-8;base64,SGk=", true, "text/plain;charset=utf-8", "Hi"},
                      DataURLCase{"data:;charset=utf-8,x", true, "text/plain;charset=utf-8", "x"},
                      DataURLCase{"data:application/json;charset=utf-8,{}", true, "application/json", "{}"},
                      DataURLCase{"data:TEXT/plain;charset=x,y", true, "TEXT/plain", "y"},
                      DataURLCase{"data:image/png;name=a.png;base64,AAAA", false, std::nullopt, ""},
                      DataURLCase{"DATA:,x", false, std::nullopt, ""},
                      DataURLCase{"data:text/plain;base64;charset=utf-8,SGk=", false, std::nullopt, ""},
                      DataURLCase{"data:text/plain;charset=;base64,SGk=", false, std::nullopt, ""},
                      DataURLCase{"data:text/plain", false, std::nullopt, ""},
                      DataURLCase{"data:text/plain,abc;base64,xyz", true, std::nullopt, ""},
                      DataURLCase{"data:image/png;base64,%%%", true, std::nullopt, ""},
                      DataURLCase{"data:image/png;base64,SG k=", true, std::nullopt, ""},
                      DataURLCase{"data:,%zz", true, std::nullopt, ""}, DataURLCase{"data:,%F", true, std::nullopt, ""},
                      DataURLCase{"data:,%FF", true, std::nullopt, ""},
                      DataURLCase{"data:,line\none", true, "text/plain", "line\none"}));

TEST(DataURLEncoding, RoundTripsThroughParse) {
    const std::string bytes("\x00\x01\xFEzz", 5);
    EXPECT_EQ(parseDataURL(dataURLEncoded(bytes, std::nullopt))->mimeType, "text/plain");
    EXPECT_EQ(parseDataURL(dataURLEncoded(bytes, std::nullopt))->data, bytes);
    EXPECT_EQ(parseDataURL(dataURLEncoded(bytes, ""))->mimeType, "text/plain");
    EXPECT_EQ(parseDataURL(dataURLEncoded(bytes, "image/png;charset=x"))->mimeType, "image/png");
    // The "," ends the media type early; what follows does not decode.
    EXPECT_FALSE(parseDataURL(dataURLEncoded(bytes, "a,b")));
}

TEST(DataURLEncoding, MultiMegabytePayloadParses) {
    const std::string bytes(8 * 1024 * 1024, '\x5A');
    const auto url = dataURLEncoded(bytes, "image/png");
    ASSERT_TRUE(isDataURL(url));
    const auto parsed = parseDataURL(url);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->data, bytes);
}

TEST(Base64, DecodesStrictly) {
    EXPECT_EQ(base64Decode("SGk="), "Hi");
    EXPECT_EQ(base64Decode("SGk"), "Hi");
    EXPECT_EQ(base64Decode(""), "");
    EXPECT_EQ(base64Decode("SGVsbG8sIHdvcmxk"), "Hello, world");
    EXPECT_EQ(base64Decode("S"), std::nullopt);
    EXPECT_EQ(base64Decode("SGk=\n"), std::nullopt);
    EXPECT_EQ(base64Decode("SG=k"), std::nullopt);
    EXPECT_EQ(base64Decode("SGk==="), std::nullopt);
    EXPECT_EQ(base64Encode("Hello, world"), "SGVsbG8sIHdvcmxk");
    EXPECT_EQ(base64Encode("a"), "YQ==");
}

}  // namespace
}  // namespace lumenary::mcp
