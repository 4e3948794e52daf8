#include <gtest/gtest.h>

#include "mcp/core/message.hpp"
#include "mcp/core/request.hpp"
#include "mcp/server/family_cases.hpp"
#include "mcp/server/prompt_methods.hpp"

namespace lumenary::mcp {
namespace {

using Kind = DecodingError::Kind;

static_assert(Method<ListPrompts> && Method<GetPrompt> && Notification<PromptListChangedNotification>);
static_assert(ListPrompts::name == "prompts/list" && GetPrompt::name == "prompts/get");
static_assert(PromptListChangedNotification::name == "notifications/prompts/list_changed");
static_assert(isNotRequired<ListPrompts::Parameters> && !isNotRequired<GetPrompt::Parameters>);

TEST(ListPrompts, RequestWithoutParamsAsksForTheFirstPage) {
    EXPECT_FALSE(readAs<Request<ListPrompts>>(R"({"jsonrpc":"2.0","id":1,"method":"prompts/list"})").params.cursor);
    EXPECT_FALSE(
        readAs<Request<ListPrompts>>(R"({"jsonrpc":"2.0","id":1,"method":"prompts/list","params":{}})").params.cursor);
}

TEST(ListPrompts, WritesAndReadsBack) {
    expectWrittenAndReadBack<ListPrompts::Parameters>({{{}, "{}"}, {{.cursor = "c"}, R"({"cursor":"c"})"}});
    expectWrittenAndReadBack<ListPrompts::Result>({
        {{.prompts = {}}, R"({"prompts":[]})"},
        {{.prompts = {{.name = "a"}}, .nextCursor = "n"}, R"({"nextCursor":"n","prompts":[{"name":"a"}]})"},
    });
    expectRefused<ListPrompts::Result>({{R"({"prompts":[{}]})", Kind::keyNotFound, {"prompts", "Index 0"}}});
}

TEST(GetPrompt, ArgumentsKeepTheirJSONKinds) {
    const auto parameters = readAs<GetPrompt::Parameters>(R"({"name":"p","arguments":{"n":3,"on":true,"s":"x"}})");
    ASSERT_TRUE(parameters.arguments);
    EXPECT_EQ(parameters.arguments->at("n"), Value(3));
    EXPECT_EQ(parameters.arguments->at("on"), Value(true));
    EXPECT_EQ(writtenText(parameters), R"({"arguments":{"n":3,"on":true,"s":"x"},"name":"p"})");
    expectWrittenAndReadBack<GetPrompt::Parameters>({{{.name = "p"}, R"({"name":"p"})"}});
}

TEST(GetPrompt, ParametersNeedAName) {
    expectRefused<GetPrompt::Parameters>({{R"({"arguments":{}})", Kind::keyNotFound, {}}});
    auto failure = readingFailure<Request<GetPrompt>>(R"({"jsonrpc":"2.0","id":1,"method":"prompts/get"})");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description(), "Missing required params field");
}

TEST(GetPrompt, ResultWritesAndReadsBack) {
    expectWrittenAndReadBack<GetPrompt::Result>({
        {{.messages = {}}, R"({"messages":[]})"},
        {{.description = "d", .messages = {Prompt::Message::user("q"), Prompt::Message::assistant("a")}},
         R"({"description":"d","messages":[{"content":{"text":"q","type":"text"},"role":"user"},)"
         R"({"content":{"text":"a","type":"text"},"role":"assistant"}]})"},
    });
    EXPECT_EQ(rewrittenText<GetPrompt::Result>(R"({"description":null,"messages":[]})"), R"({"messages":[]})");
    expectRefused<GetPrompt::Result>({
        {R"({"description":"d"})", Kind::keyNotFound, {}},
        {R"({"messages":[{"role":"user","content":{"type":"TEXT"}}]})",
         Kind::dataCorrupted,
         {"messages", "Index 0", "content", "type"},
         "Unknown content type"},
    });
}

TEST(GetPrompt, MembersCompareAndHashApart) {
    expectDistinct<GetPrompt::Parameters>({{.name = "p"},
                                           {.name = "p", .arguments = std::map<std::string, Value>{}},
                                           {.name = "p", .arguments = std::map<std::string, Value>{{"a", 1}}},
                                           {.name = "p", .arguments = std::map<std::string, Value>{{"a", "1"}}}});
}

TEST(PromptListChangedNotification, TravelsWithoutParams) {
    EXPECT_EQ(writtenText(Message<PromptListChangedNotification>()),
              R"({"jsonrpc":"2.0","method":"notifications/prompts/list_changed"})");
}

}  // namespace
}  // namespace lumenary::mcp
