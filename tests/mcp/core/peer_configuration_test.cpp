#include <gtest/gtest.h>

#include "mcp/core/peer_configuration.hpp"
#include "mcp/core/typed_json.hpp"

namespace lumenary::mcp {
namespace {

TEST(PeerConfiguration, PresetsRoundTrip) {
    EXPECT_FALSE(ServerConfiguration::defaultConfiguration().strict);
    EXPECT_EQ(writtenText(ServerConfiguration::defaultConfiguration()), R"({"strict":false})");
    EXPECT_EQ(readAs<ServerConfiguration>(R"({"strict":true})"), ServerConfiguration::strictConfiguration());
    EXPECT_EQ(readAs<ServerConfiguration>(R"({"strict":false})"), ServerConfiguration::defaultConfiguration());
}

TEST(PeerConfiguration, StrictIsRequiredWithoutADefault) {
    struct Case {
        const char* json;
        DecodingError::Kind kind;
    };
    for (auto [json, kind] :
         {Case{"{}", DecodingError::Kind::keyNotFound}, Case{R"({"strict":null})", DecodingError::Kind::valueNotFound},
          Case{R"({"strict":"true"})", DecodingError::Kind::typeMismatch},
          Case{R"({"strict":1})", DecodingError::Kind::typeMismatch}}) {
        auto failure = readingFailure<ServerConfiguration>(json);
        ASSERT_TRUE(failure) << json;
        EXPECT_EQ(failure->kind(), kind) << json;
    }
}

}  // namespace
}  // namespace lumenary::mcp
