#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "mcp/core/client_capabilities.hpp"
#include "mcp/core/typed_json.hpp"

namespace lumenary::mcp {
namespace {

using Capabilities = ClientCapabilities;

TEST(ClientCapabilities, NothingSetWritesAnEmptyObject) {
    EXPECT_EQ(writtenText(Capabilities{}), "{}");
}

TEST(ClientCapabilities, ReadsEveryGroup) {
    auto capabilities =
        readAs<Capabilities>(R"({"sampling":{},"experimental":{"a":"b"},"roots":{"listChanged":true}})");
    EXPECT_EQ(capabilities, (Capabilities{.sampling = Capabilities::Sampling{},
                                          .experimental = std::map<std::string, Value>{{"a", "b"}},
                                          .roots = Capabilities::Roots{.listChanged = true}}));
}

struct Rewrite {
    std::string read;
    std::string written;
};

class ClientCapabilitiesRewrite : public ::testing::TestWithParam<Rewrite> {};

TEST_P(ClientCapabilitiesRewrite, WritesBackWhatItRead) {
    EXPECT_EQ(rewrittenText<Capabilities>(GetParam().read), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(, ClientCapabilitiesRewrite,
                         ::testing::Values(Rewrite{"{}", "{}"}, Rewrite{R"({"sampling":true})", R"({"sampling":{}})"},
                                           Rewrite{R"({"sampling":null,"roots":null,"experimental":null})", "{}"},
                                           Rewrite{R"({"roots":{}})", R"({"roots":{}})"},
                                           Rewrite{R"({"experimental":{}})", R"({"experimental":{}})"},
                                           Rewrite{R"({"experimental":{"feature":{"on":true}}})",
                                                   R"({"experimental":{"feature":{"on":true}}})"},
                                           Rewrite{R"({"roots":{"listChanged":false},"other":1})",
                                                   R"({"roots":{"listChanged":false}})"}));

TEST(ClientCapabilities, WrongShapesFailTheRead) {
    for (const char* json : {R"({"roots":true})", R"({"roots":{"listChanged":1}})", R"({"experimental":[]})"}) {
        auto failure = readingFailure<Capabilities>(json);
        ASSERT_TRUE(failure) << json;
        EXPECT_EQ(failure->kind(), DecodingError::Kind::typeMismatch) << json;
    }
}

TEST(ClientCapabilities, PresenceAndFlagsHashApart) {
    std::hash<Capabilities> hash;
    std::vector<Capabilities> distinct{
        Capabilities{},
        Capabilities{.sampling = Capabilities::Sampling{}},
        Capabilities{.experimental = std::map<std::string, Value>{}},
        Capabilities{.experimental = std::map<std::string, Value>{{"a", "b"}}},
        Capabilities{.roots = Capabilities::Roots{}},
        Capabilities{.roots = Capabilities::Roots{.listChanged = false}},
        Capabilities{.roots = Capabilities::Roots{.listChanged = true}},
    };
    for (std::size_t i = 0; i < distinct.size(); ++i) {
        for (std::size_t j = i + 1; j < distinct.size(); ++j) {
            EXPECT_NE(distinct[i], distinct[j]) << i << " vs " << j;
            EXPECT_NE(hash(distinct[i]), hash(distinct[j])) << i << " vs " << j;
        }
    }
}

}  // namespace
}  // namespace lumenary::mcp
