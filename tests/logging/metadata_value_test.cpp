#include "logging/metadata_value.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace lumenary::logging {
namespace {

class Described final : public StringConvertible {
public:
    explicit Described(std::string text) : text_(std::move(text)) {}
    std::string description() const override { return text_; }

private:
    std::string text_;
};

MetadataValue described(std::string text) {
    return MetadataValue::stringConvertible(std::make_shared<Described>(std::move(text)));
}

TEST(MetadataValue, StringAndObjectRenderAsTheirOwnText) {
    EXPECT_EQ(MetadataValue("plain \"text\"").description(), "plain \"text\"");
    EXPECT_EQ(described("object").description(), "object");
}

TEST(MetadataValue, ArrayRendersAsBracketedQuotedList) {
    EXPECT_EQ(MetadataValue::array({"ab", "cd"}).description(), R"(["ab", "cd"])");
    EXPECT_EQ(MetadataValue::array({}).description(), "[]");
    EXPECT_EQ(MetadataValue::array({described("x")}).description(), R"(["x"])");
}

TEST(MetadataValue, DictionaryRendersQuotedKeysAndValues) {
    EXPECT_EQ(MetadataValue::dictionary({{"key", "value"}}).description(), R"(["key": "value"])");
    EXPECT_EQ(MetadataValue::dictionary({{"a", "1"}, {"b", "2"}}).description(), R"(["a": "1", "b": "2"])");
    EXPECT_EQ(MetadataValue::dictionary(Metadata{}).description(), "[:]");
}

TEST(MetadataValue, NestedValuesAreQuotedAgainByTheOuterLevel) {
    auto nested = MetadataValue::array({MetadataValue::array({"a"}), MetadataValue::dictionary({{"k", "v"}})});
    EXPECT_EQ(nested.description(), R"(["[\"a\"]", "[\"k\": \"v\"]"])");
}

TEST(MetadataValue, QuotedItemsEscapeQuotesBackslashesAndControlCharacters) {
    std::string text = std::string("q\" b\\ t\t n\n r\r z") + '\0' + " e\x1b d\x7f c1\xc2\x85 é";
    EXPECT_EQ(MetadataValue::array({text}).description(),
              "[\"q\\\" b\\\\ t\\t n\\n r\\r z\\0 e\\u{1B} d\\u{7F} c1\\u{85} é\"]");
}

TEST(MetadataValue, EqualityIsByCaseAndContent) {
    EXPECT_EQ(MetadataValue("a"), MetadataValue("a"));
    EXPECT_NE(MetadataValue("a"), MetadataValue("b"));
    // Same text, different cases.
    EXPECT_NE(MetadataValue("a"), described("a"));
    EXPECT_NE(MetadataValue::array({}), MetadataValue::dictionary(Metadata{}));
    // Objects compare by description, not identity.
    EXPECT_EQ(described("same"), described("same"));
    EXPECT_NE(described("same"), described("other"));
    EXPECT_EQ(MetadataValue::array({"a", "b"}), MetadataValue::array({"a", "b"}));
    EXPECT_NE(MetadataValue::array({"a", "b"}), MetadataValue::array({"b", "a"}));
    EXPECT_NE(MetadataValue::array({"a"}), MetadataValue::array({"a", "a"}));
    EXPECT_EQ(MetadataValue::dictionary({{"k", described("v")}}), MetadataValue::dictionary({{"k", described("v")}}));
    EXPECT_NE(MetadataValue::dictionary({{"k", "v"}}), MetadataValue::dictionary({{"k", "w"}}));
    EXPECT_NE(MetadataValue::dictionary({{"k", "v"}}), MetadataValue::dictionary({{"j", "v"}}));
}

TEST(MetadataValue, ReportsItsCaseAndPayload) {
    EXPECT_EQ(MetadataValue("s").kind(), MetadataValue::Kind::string);
    EXPECT_EQ(*MetadataValue("s").asString(), "s");
    EXPECT_EQ(MetadataValue("s").asArray(), nullptr);
    EXPECT_EQ(described("d").kind(), MetadataValue::Kind::stringConvertible);
    EXPECT_EQ(MetadataValue::dictionary({{"k", "v"}}).asDictionary()->size(), 1U);
    EXPECT_EQ(MetadataValue::array({"a", "b"}).asArray()->size(), 2U);
}

TEST(MetadataValueDeathTest, RepeatedKeyInDictionaryLiteralStopsTheProcess) {
    EXPECT_DEATH(MetadataValue::dictionary({{"user", "a"}, {"user", "b"}}), "Duplicate values for key: 'user'");
}

}  // namespace
}  // namespace lumenary::logging
