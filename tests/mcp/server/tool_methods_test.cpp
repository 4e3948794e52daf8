#include <gtest/gtest.h>

#include "mcp/core/message.hpp"
#include "mcp/core/request.hpp"
#include "mcp/server/family_cases.hpp"
#include "mcp/server/tool_methods.hpp"

namespace lumenary::mcp {
namespace {

using Kind = DecodingError::Kind;

static_assert(Method<ListTools> && Method<CallTool> && Notification<ToolListChangedNotification>);
static_assert(ListTools::name == "tools/list" && CallTool::name == "tools/call");
static_assert(ToolListChangedNotification::name == "notifications/tools/list_changed");
static_assert(isNotRequired<ListTools::Parameters> && !isNotRequired<CallTool::Parameters>);

TEST(ListTools, RequestWithoutUsableParamsAsksForTheFirstPage) {
    for (const char* params : {"", R"(,"params":null)", R"(,"params":{})", R"(,"params":{"cursor":null})"}) {
        const std::string json = std::string(R"({"jsonrpc":"2.0","id":1,"method":"tools/list")") + params + "}";
        SCOPED_TRACE(json);
        EXPECT_FALSE(readAs<Request<ListTools>>(json).params.cursor);
    }
    EXPECT_EQ(readAs<Request<ListTools>>(R"({"jsonrpc":"2.0","id":1,"method":"tools/list","params":{"cursor":"c"}})")
                  .params.cursor,
              "c");
}

// Present parameters that do not read fail with the reader's own error.
TEST(ListTools, PresentParamsMustBeAnObject) {
    auto failure = readingFailure<Request<ListTools>>(R"({"jsonrpc":"2.0","id":1,"method":"tools/list","params":[]})");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind(), Kind::typeMismatch);
    EXPECT_EQ(failure->codingPath(), CodingPath{"params"});
}

TEST(ListTools, ParametersAndResultWriteAndReadBack) {
    expectWrittenAndReadBack<ListTools::Parameters>({{{}, "{}"}, {{.cursor = "p2"}, R"({"cursor":"p2"})"}});
    expectWrittenAndReadBack<ListTools::Result>({
        {{.tools = {}}, R"({"tools":[]})"},
        {{.tools = {Tool{.name = "a", .description = "A", .inputSchema = Value::object({})},
                    Tool{.name = "b", .inputSchema = Value::object({})}},
          .nextCursor = ""},
         R"({"nextCursor":"","tools":[{"description":"A","inputSchema":{},"name":"a"},)"
         R"({"description":null,"inputSchema":{},"name":"b"}]})"},
    });
}

TEST(ListTools, OneBadToolFailsTheWholeList) {
    expectRefused<ListTools::Result>({
        {R"({"tools":[{"name":"a","inputSchema":{}},{"inputSchema":{}}]})", Kind::keyNotFound, {"tools", "Index 1"}},
        {R"({"nextCursor":"c"})", Kind::keyNotFound, {}},
        {R"({"tools":{}})", Kind::typeMismatch, {"tools"}},
    });
}

TEST(CallTool, ParametersWriteAndReadBack) {
    expectWrittenAndReadBack<CallTool::Parameters>({
        {{.name = "run"}, R"({"name":"run"})"},
        {{.name = "run", .arguments = std::map<std::string, Value>{}}, R"({"arguments":{},"name":"run"})"},
        {{.name = "run",
          .arguments = std::map<std::string, Value>{{"n", 1}, {"off", false}, {"none", nullptr}, {"x", 1.5}}},
         R"({"arguments":{"n":1,"none":null,"off":false,"x":1.5},"name":"run"})"},
    });
    EXPECT_FALSE(readAs<CallTool::Parameters>(R"({"name":"run","arguments":null})").arguments);
}

TEST(CallTool, ParametersRefuseBadShapes) {
    expectRefused<CallTool::Parameters>({
        {R"({"arguments":{"a":1}})", Kind::keyNotFound, {}},
        {R"({"name":"run","arguments":[1]})", Kind::typeMismatch, {"arguments"}},
        {R"({"name":3})", Kind::typeMismatch, {"name"}},
    });
}

TEST(CallTool, RequestEnvelopeRefusesMissingOrBadParams) {
    struct Case {
        const char* params;
        const char* description;
    };
    for (const Case& c :
         {Case{"", "Missing required params field"}, Case{R"(,"params":null)", "Missing required params field"},
          Case{R"(,"params":{"arguments":{}})", "Invalid params field"},
          Case{R"(,"params":"run")", "Invalid params field"}}) {
        const std::string json = std::string(R"({"jsonrpc":"2.0","id":1,"method":"tools/call")") + c.params + "}";
        SCOPED_TRACE(json);
        auto failure = readingFailure<Request<CallTool>>(json);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->kind(), Kind::dataCorrupted);
        EXPECT_EQ(failure->description(), c.description);
    }
}

TEST(CallTool, ResultWritesAndReadsBack) {
    expectWrittenAndReadBack<CallTool::Result>({
        {{.content = {}}, R"({"content":[]})"},
        {{.content = {Tool::Content::text("…")}}, R"({"content":[{"text":"…","type":"text"}]})"},
        {{.content = {Tool::Content::text("…")}, .isError = true},
         R"({"content":[{"text":"…","type":"text"}],"isError":true})"},
        {{.content = {Tool::Content::text("a"), Tool::Content::audio("d", "audio/mp3")}, .isError = false},
         R"({"content":[{"text":"a","type":"text"},{"data":"d","mimeType":"audio/mp3","type":"audio"}],"isError":false})"},
    });
}

TEST(CallTool, OneBadItemFailsTheResultWithItsOwnError) {
    expectRefused<CallTool::Result>({
        {R"({"content":[{"type":"text","text":"ok"},{"type":"video"}]})",
         Kind::dataCorrupted,
         {"content", "Index 1", "type"},
         "Unknown tool content type"},
        {R"({"content":[],"isError":"no"})", Kind::typeMismatch, {"isError"}},
    });
}

TEST(CallTool, IsErrorAndArgumentsCompareAndHashApart) {
    expectDistinct<CallTool::Result>({{.content = {}},
                                      {.content = {}, .isError = false},
                                      {.content = {}, .isError = true},
                                      {.content = {Tool::Content::text("")}}});
    expectDistinct<CallTool::Parameters>({{.name = "a"},
                                          {.name = "a", .arguments = std::map<std::string, Value>{}},
                                          {.name = "a", .arguments = std::map<std::string, Value>{{"k", nullptr}}},
                                          {.name = "a", .arguments = std::map<std::string, Value>{{"k", 1}}}});
}

TEST(ToolListChangedNotification, TravelsWithoutParams) {
    EXPECT_EQ(writtenText(Message<ToolListChangedNotification>()),
              R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})");
    EXPECT_EQ(readAs<Message<ToolListChangedNotification>>(
                  R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed","params":[1]})"),
              Message<ToolListChangedNotification>());
}

}  // namespace
}  // namespace lumenary::mcp
