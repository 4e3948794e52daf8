#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "mcp/core/server_capabilities.hpp"
#include "mcp/core/typed_json.hpp"

namespace lumenary::mcp {
namespace {

using Capabilities = ServerCapabilities;

TEST(ServerCapabilities, WritesOnlyPresentGroups) {
    EXPECT_EQ(writtenText(Capabilities{}), "{}");
    EXPECT_EQ(writtenText(Capabilities{.tools = Capabilities::Tools{.listChanged = true}}),
              R"({"tools":{"listChanged":true}})");
}

TEST(ServerCapabilities, PresentEmptyGroupIsNotAnAbsentGroup) {
    auto capabilities = readAs<Capabilities>(R"({"tools":{}})");
    ASSERT_TRUE(capabilities.tools);
    EXPECT_FALSE(capabilities.tools->listChanged);
    EXPECT_NE(capabilities, Capabilities{});
}

TEST(ServerCapabilities, ReadsEachGroupOnItsOwn) {
    auto capabilities = readAs<Capabilities>(R"({"logging":{},"resources":{"subscribe":true}})");
    EXPECT_EQ(capabilities, (Capabilities{.logging = Capabilities::Logging{},
                                          .resources = Capabilities::Resources{.subscribe = true}}));
}

struct Rewrite {
    std::string read;
    std::string written;
};

class ServerCapabilitiesRewrite : public ::testing::TestWithParam<Rewrite> {};

TEST_P(ServerCapabilitiesRewrite, WritesBackWhatItRead) {
    EXPECT_EQ(rewrittenText<Capabilities>(GetParam().read), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    , ServerCapabilitiesRewrite,
    ::testing::Values(Rewrite{"{}", "{}"}, Rewrite{R"({"tools":{}})", R"({"tools":{}})"},
                      Rewrite{R"({"logging":{},"resources":{"subscribe":true}})",
                              R"({"logging":{},"resources":{"subscribe":true}})"},
                      Rewrite{R"({"resources":{"subscribe":true,"listChanged":false}})",
                              R"({"resources":{"listChanged":false,"subscribe":true}})"},
                      // Field-less groups are announced by any non-null value.
                      Rewrite{R"({"logging":true})", R"({"logging":{}})"},
                      Rewrite{R"({"sampling":[1,2],"logging":"yes"})", R"({"logging":{},"sampling":{}})"},
                      Rewrite{R"({"logging":null,"sampling":null,"tools":null})", "{}"},
                      Rewrite{R"({"prompts":{"listChanged":null}})", R"({"prompts":{}})"},
                      Rewrite{R"({"experimental":{"a":1},"tools":{"listChanged":false,"extra":1}})",
                              R"({"tools":{"listChanged":false}})"}));

struct Refused {
    std::string json;
    CodingPath codingPath;
};

class ServerCapabilitiesRefused : public ::testing::TestWithParam<Refused> {};

TEST_P(ServerCapabilitiesRefused, FailsWithATypeMismatchWhereTheShapeIsWrong) {
    auto failure = readingFailure<Capabilities>(GetParam().json);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(failure->codingPath(), GetParam().codingPath);
}

INSTANTIATE_TEST_SUITE_P(, ServerCapabilitiesRefused,
                         ::testing::Values(Refused{R"({"tools":true})", {"tools"}},
                                           Refused{R"({"prompts":"yes"})", {"prompts"}},
                                           Refused{R"({"resources":[]})", {"resources"}},
                                           Refused{R"({"tools":{"listChanged":"yes"}})", {"tools", "listChanged"}},
                                           Refused{R"({"resources":{"subscribe":1}})", {"resources", "subscribe"}},
                                           Refused{"[]", {}}));

TEST(ServerCapabilities, AbsentFalseAndTrueFlagsAllHashApart) {
    std::hash<Capabilities> hash;
    std::vector<Capabilities> distinct{
        Capabilities{},
        Capabilities{.tools = Capabilities::Tools{}},
        Capabilities{.tools = Capabilities::Tools{.listChanged = false}},
        Capabilities{.tools = Capabilities::Tools{.listChanged = true}},
        Capabilities{.prompts = Capabilities::Prompts{}},
        Capabilities{.resources = Capabilities::Resources{.subscribe = true}},
        Capabilities{.resources = Capabilities::Resources{.listChanged = true}},
        Capabilities{.logging = Capabilities::Logging{}},
        Capabilities{.sampling = Capabilities::Sampling{}},
    };
    EXPECT_EQ(hash(readAs<Capabilities>(R"({"logging":true})")), hash(readAs<Capabilities>(R"({"logging":{}})")));
    for (std::size_t i = 0; i < distinct.size(); ++i) {
        for (std::size_t j = i + 1; j < distinct.size(); ++j) {
            EXPECT_NE(distinct[i], distinct[j]) << i << " vs " << j;
            EXPECT_NE(hash(distinct[i]), hash(distinct[j])) << i << " vs " << j;
        }
    }
}

}  // namespace
}  // namespace lumenary::mcp
