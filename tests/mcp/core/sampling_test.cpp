#include <gtest/gtest.h>

#include <string>

#include "mcp/core/create_sampling_message.hpp"
#include "mcp/core/typed_json.hpp"

namespace lumenary::mcp {
namespace {

using Parameters = CreateSamplingMessage::Parameters;
using Result = CreateSamplingMessage::Result;

TEST(CreateSamplingMessage, FullParametersRoundTrip) {
    const std::string json =
        R"({"includeContext":"thisServer","maxTokens":100,)"
        R"("messages":[{"content":{"text":"Hi","type":"text"},"role":"user"},)"
        R"({"content":{"data":"iVBORw==","mimeType":"image/png","type":"image"},"role":"assistant"}],)"
        R"("metadata":{"trace":[1,null]},)"
        R"("modelPreferences":{"costPriority":0.25,"hints":[{"name":"small"},{}],"intelligencePriority":1.0},)"
        R"("stopSequences":["\n"],"systemPrompt":"Be brief.","temperature":0.5})";
    auto parameters = readAs<Parameters>(json);
    ASSERT_EQ(parameters.messages.size(), 2U);
    EXPECT_EQ(parameters.messages[1].content,
              Sampling::Message::Content(Sampling::Message::ImageContent{"iVBORw==", "image/png"}));
    ASSERT_TRUE(parameters.modelPreferences);
    EXPECT_EQ(parameters.modelPreferences->costPriority, UnitInterval(0.25));
    EXPECT_FALSE(parameters.modelPreferences->speedPriority);
    EXPECT_EQ(writtenText(parameters), json);
}

TEST(CreateSamplingMessage, OptionalParametersStayUnwritten) {
    EXPECT_EQ(rewrittenText<Parameters>(R"({"maxTokens":1,"messages":[],"systemPrompt":null})"),
              R"({"maxTokens":1,"messages":[]})");
}

struct Refused {
    std::string json;
    DecodingError::Kind kind;
    CodingPath codingPath;
};

class CreateSamplingMessageRefused : public ::testing::TestWithParam<Refused> {};

TEST_P(CreateSamplingMessageRefused, FailsAtTheOffendingField) {
    auto failure = readingFailure<Parameters>(GetParam().json);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind(), GetParam().kind) << failure->what();
    EXPECT_EQ(failure->codingPath(), GetParam().codingPath) << failure->what();
}

INSTANTIATE_TEST_SUITE_P(
    , CreateSamplingMessageRefused,
    ::testing::Values(Refused{R"({"messages":[]})", DecodingError::Kind::keyNotFound, {}},
                      Refused{R"({"maxTokens":1})", DecodingError::Kind::keyNotFound, {}},
                      Refused{R"({"maxTokens":1.5,"messages":[]})", DecodingError::Kind::typeMismatch, {"maxTokens"}},
                      Refused{R"({"maxTokens":1,"messages":[{"role":"system","content":{"type":"text","text":""}}]})",
                              DecodingError::Kind::dataCorrupted,
                              {"messages", "Index 0", "role"}},
                      Refused{R"({"maxTokens":1,"messages":[{"role":"user","content":{"type":"audio","data":""}}]})",
                              DecodingError::Kind::dataCorrupted,
                              {"messages", "Index 0", "content", "type"}},
                      Refused{R"({"maxTokens":1,"messages":[{"role":"user","content":{"type":"image","data":""}}]})",
                              DecodingError::Kind::keyNotFound,
                              {"messages", "Index 0", "content"}},
                      Refused{R"({"maxTokens":1,"messages":[],"includeContext":"everything"})",
                              DecodingError::Kind::dataCorrupted,
                              {"includeContext"}},
                      Refused{R"({"maxTokens":1,"messages":[],"modelPreferences":{"speedPriority":1.5}})",
                              DecodingError::Kind::dataCorrupted,
                              {"modelPreferences", "speedPriority"}}));

TEST(SamplingMessage, NamesAnUnknownContentTypeExactly) {
    for (const char* type : {"audio", "Text"}) {
        auto failure =
            readingFailure<Sampling::Message::Content>(std::string(R"({"text":"x","type":")") + type + "\"}");
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->description(), "Unknown sampling message content type");
    }
    EXPECT_EQ(Sampling::Message::assistant(Sampling::Message::TextContent{"x"}).role,
              Sampling::Message::Role::assistant);
}

TEST(CreateSamplingMessage, ResultKeepsUnknownStopReasons) {
    auto result = readAs<Result>(
        R"({"content":{"text":"Done","type":"text"},"model":"m","role":"assistant","stopReason":"toolUse"})");
    EXPECT_EQ(result.stopReason, Sampling::StopReason{"toolUse"});
    EXPECT_EQ(writtenText(result),
              R"({"content":{"text":"Done","type":"text"},"model":"m","role":"assistant","stopReason":"toolUse"})");
}

TEST(CreateSamplingMessage, ResultWritesKnownStopReasonsByName) {
    Result result{.model = "m",
                  .stopReason = Sampling::StopReason::maxTokens(),
                  .role = Sampling::Message::Role::assistant,
                  .content = Sampling::Message::TextContent{"x"}};
    EXPECT_EQ(writtenText(result),
              R"({"content":{"text":"x","type":"text"},"model":"m","role":"assistant","stopReason":"maxTokens"})");
    result.stopReason.reset();
    EXPECT_EQ(readAs<Result>(writtenText(result)), result);
}

}  // namespace
}  // namespace lumenary::mcp
