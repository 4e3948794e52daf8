#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "mcp/core/server_capabilities.hpp"
#include "mcp/core/typed_json.hpp"

namespace lumenary::mcp {
namespace {

using ServerCaps = ServerCapabilities;

TEST(ServerCapabilities, WritesOnlyPresentGroups) {
    EXPECT_EQ(writtenText(ServerCaps{}), "{}");
    EXPECT_EQ(writtenText(ServerCaps{.tools = ServerCaps::Tools{.listChanged = true}}),
              R"({"tools":{"listChanged":true}})");
}

TEST(ServerCapabilities, PresentEmptyGroupIsNotAnAbsentGroup) {
    auto capabilities = readAs<ServerCaps>(R"({"tools":{}})");
    ASSERT_TRUE(capabilities.tools);
    EXPECT_FALSE(capabilities.tools->listChanged);
    EXPECT_NE(capabilities, ServerCaps{});
}

TEST(ServerCapabilities, ReadsEachGroupOnItsOwn) {
    auto capabilities = readAs<ServerCaps>(R"({"logging":{},"resources":{"subscribe":true}})");
    EXPECT_EQ(capabilities,
              (ServerCaps{.logging = ServerCaps::Logging{}, .resources = ServerCaps::Resources{.subscribe = true}}));
}

struct ServerRewrite {
    std::string read;
    std::string written;
};

class ServerCapabilitiesRewrite : public ::testing::TestWithParam<ServerRewrite> {};

TEST_P(ServerCapabilitiesRewrite, WritesBackWhatItRead) {
    EXPECT_EQ(rewrittenText<ServerCaps>(GetParam().read), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    , ServerCapabilitiesRewrite,
    ::testing::Values(ServerRewrite{"{}", "{}"}, ServerRewrite{R"({"tools":{}})", R"({"tools":{}})"},
                      ServerRewrite{R"({"logging":{},"resources":{"subscribe":true}})",
                                    R"({"logging":{},"resources":{"subscribe":true}})"},
                      ServerRewrite{R"({"resources":{"subscribe":true,"listChanged":false}})",
                                    R"({"resources":{"listChanged":false,"subscribe":true}})"},
                      // Field-less groups are announced by any non-null value.
                      ServerRewrite{R"({"logging":true})", R"({"logging":{}})"},
                      ServerRewrite{R"({"sampling":[1,2],"logging":"yes"})", R"({"logging":{},"sampling":{}})"},
                      ServerRewrite{R"({"logging":null,"sampling":null,"tools":null})", "{}"},
                      ServerRewrite{R"({"prompts":{"listChanged":null}})", R"({"prompts":{}})"},
                      ServerRewrite{R"({"experimental":{"a":1},"tools":{"listChanged":false,"extra":1}})",
                                    R"({"tools":{"listChanged":false}})"}));

struct ServerRefused {
    std::string json;
    CodingPath codingPath;
};

class ServerCapabilitiesRefused : public ::testing::TestWithParam<ServerRefused> {};

TEST_P(ServerCapabilitiesRefused, FailsWithATypeMismatchWhereTheShapeIsWrong) {
    auto failure = readingFailure<ServerCaps>(GetParam().json);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(failure->codingPath(), GetParam().codingPath);
}

INSTANTIATE_TEST_SUITE_P(
    , ServerCapabilitiesRefused,
    ::testing::Values(ServerRefused{R"({"tools":true})", {"tools"}}, ServerRefused{R"({"prompts":"yes"})", {"prompts"}},
                      ServerRefused{R"({"resources":[]})", {"resources"}},
                      ServerRefused{R"({"tools":{"listChanged":"yes"}})", {"tools", "listChanged"}},
                      ServerRefused{R"({"resources":{"subscribe":1}})", {"resources", "subscribe"}},
                      ServerRefused{"[]", {}}));

TEST(ServerCapabilities, AbsentFalseAndTrueFlagsAllHashApart) {
    std::hash<ServerCaps> hash;
    std::vector<ServerCaps> distinct{
        ServerCaps{},
        ServerCaps{.tools = ServerCaps::Tools{}},
        ServerCaps{.tools = ServerCaps::Tools{.listChanged = false}},
        ServerCaps{.tools = ServerCaps::Tools{.listChanged = true}},
        ServerCaps{.prompts = ServerCaps::Prompts{}},
        ServerCaps{.resources = ServerCaps::Resources{.subscribe = true}},
        ServerCaps{.resources = ServerCaps::Resources{.listChanged = true}},
        ServerCaps{.logging = ServerCaps::Logging{}},
        ServerCaps{.sampling = ServerCaps::Sampling{}},
    };
    EXPECT_EQ(hash(readAs<ServerCaps>(R"({"logging":true})")), hash(readAs<ServerCaps>(R"({"logging":{}})")));
    for (std::size_t i = 0; i < distinct.size(); ++i) {
        for (std::size_t j = i + 1; j < distinct.size(); ++j) {
            EXPECT_NE(distinct[i], distinct[j]) << i << " vs " << j;
            EXPECT_NE(hash(distinct[i]), hash(distinct[j])) << i << " vs " << j;
        }
    }
}

}  // namespace
}  // namespace lumenary::mcp
