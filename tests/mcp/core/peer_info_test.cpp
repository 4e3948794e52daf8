#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "mcp/core/peer_info.hpp"
#include "mcp/core/typed_json.hpp"

namespace lumenary::mcp {
namespace {

// Client and server announce themselves in the same shape.
template <typename Info>
class PeerInfo : public ::testing::Test {};

using PeerInfoTypes = ::testing::Types<ClientInfo, ServerInfo>;
TYPED_TEST_SUITE(PeerInfo, PeerInfoTypes);

TYPED_TEST(PeerInfo, RoundTripsAndIgnoresUnknownKeys) {
    auto info = readAs<TypeParam>(R"({"name":"lumenary","version":"0.1.0","vendor":"x"})");
    EXPECT_EQ(info, (TypeParam{"lumenary", "0.1.0"}));
    EXPECT_EQ(writtenText(info), R"({"name":"lumenary","version":"0.1.0"})");
    EXPECT_EQ(writtenText(TypeParam{"", ""}), R"({"name":"","version":""})");
}

TYPED_TEST(PeerInfo, BothKeysAreRequiredStrings) {
    struct Case {
        const char* json;
        DecodingError::Kind kind;
    };
    for (auto [json, kind] : {Case{R"({"name":"a"})", DecodingError::Kind::keyNotFound},
                              Case{R"({"version":"1"})", DecodingError::Kind::keyNotFound},
                              Case{R"({"name":"a","version":null})", DecodingError::Kind::valueNotFound},
                              Case{R"({"name":"a","version":1})", DecodingError::Kind::typeMismatch},
                              Case{R"(["a","1"])", DecodingError::Kind::typeMismatch}}) {
        auto failure = readingFailure<TypeParam>(json);
        ASSERT_TRUE(failure) << json;
        EXPECT_EQ(failure->kind(), kind) << json;
    }
}

TYPED_TEST(PeerInfo, HashesEqualValuesAlikeAndKeepsFieldsApart) {
    std::hash<TypeParam> hash;
    EXPECT_EQ(hash(TypeParam{"a", "1"}), hash(TypeParam{"a", "1"}));
    EXPECT_NE(hash(TypeParam{"a", "b"}), hash(TypeParam{"b", "a"}));
    EXPECT_NE(hash(TypeParam{"ab", ""}), hash(TypeParam{"a", "b"}));
}

}  // namespace
}  // namespace lumenary::mcp
