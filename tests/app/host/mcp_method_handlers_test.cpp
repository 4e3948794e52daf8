#include <gtest/gtest.h>

#include "app/host/mcp_method_handlers.hpp"
#include "app/tools/fake_tool_category.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/server_harness.hpp"
#include "platform/defaults/memory_defaults_store.hpp"

namespace lumenary::app {
namespace {

using mcp::Value;

// A server with the program's six handlers over a tool service whose
// calendar category holds "echo" and "broken".
class MethodHandlersTest : public ::testing::Test {
protected:
    MethodHandlersTest() {
        ToolCategories categories;
        categories[0] = calendar;
        service = std::make_shared<LocalToolService>(harness.io().get_executor(), defaults, categories);
        installMethodHandlers(harness.server(), *service);
        harness.start();
    }

    // The "result" of the reply to `method` with `params`.
    Value resultOf(std::string_view method, std::string_view params) {
        const auto reply = harness.replyTo(R"({"jsonrpc":"2.0","id":1,"method":")" + std::string(method) +
                                           R"(","params":)" + std::string(params) + "}");
        const auto parsed = mcp::parseJSON(reply);
        const auto* result = parsed.find("result");
        EXPECT_NE(result, nullptr) << reply;
        return result ? *result : Value();
    }

    mcp::ServerHarness harness;
    platform::MemoryDefaultsStore defaults;
    std::shared_ptr<testing::FakeToolCategory> calendar = std::make_shared<testing::FakeToolCategory>(
        std::vector<std::string>{"echo", "broken"}, std::vector<std::string>{"broken"});
    std::shared_ptr<LocalToolService> service;
};

TEST_F(MethodHandlersTest, ListsTheEnabledToolsWithoutPanelFields) {
    EXPECT_EQ(mcp::writeJSON(resultOf("tools/list", "{}")), R"({"tools":[]})");
    service->setCalendarEnabled(true);
    EXPECT_EQ(mcp::writeJSON(resultOf("tools/list", R"({"cursor":"ignored"})")),
              R"({"tools":[{"description":"echo does its work","inputSchema":{"properties":{},"required":[],)"
              R"("type":"object"},"name":"echo"},{"description":"broken does its work","inputSchema":)"
              R"({"properties":{},"required":[],"type":"object"},"name":"broken"}]})");
}

TEST_F(MethodHandlersTest, ToolFailuresAreResultsWithTheErrorFlag) {
    EXPECT_EQ(mcp::writeJSON(resultOf("tools/call", R"({"name":"echo"})")),
              R"({"content":[{"text":"Error: Calendar tool is disabled","type":"text"}],"isError":true})");
    EXPECT_EQ(mcp::writeJSON(resultOf("tools/call", R"({"name":"nope","arguments":{}})")),
              R"({"content":[{"text":"Error: Tool not found: nope","type":"text"}],"isError":true})");
    service->setCalendarEnabled(true);
    EXPECT_EQ(mcp::writeJSON(resultOf("tools/call", R"({"name":"broken"})")),
              R"({"content":[{"text":"Error: the fake tool failed","type":"text"}],"isError":true})");
    EXPECT_EQ(mcp::writeJSON(resultOf("tools/call", R"({"name":"echo"})")),
              R"({"content":[{"text":"echo ran","type":"text"}]})");
    EXPECT_EQ(service->toolCallCount(), 4);
}

TEST_F(MethodHandlersTest, ArgumentsOfEveryKindReachTheToolAsPlainValues) {
    service->setCalendarEnabled(true);
    resultOf("tools/call", R"({"name":"echo","arguments":{"limit":5.0,"ratio":2.5,"big":9223372036854775808.0,)"
                           R"("note":null,"on":true,"tags":["a",1.0,{"x":2.0}],"text":"t"}})");
    EXPECT_EQ(calendar->lastArguments, (PlainDictionary{{"limit", 5},
                                                        {"ratio", 2.5},
                                                        {"big", 9223372036854775808.0},
                                                        {"note", nullptr},
                                                        {"on", true},
                                                        {"tags", Value::array({"a", 1, Value::object({{"x", 2}})})},
                                                        {"text", "t"}}));

    std::string many = R"({"name":"echo","arguments":{"list":[)";
    for (int i = 0; i < 10000; ++i) many += (i ? ",1.0" : "1.0");
    resultOf("tools/call", many + "]}}");
    EXPECT_EQ(calendar->lastArguments.at("list").arrayValue()->size(), 10000U);
    EXPECT_EQ(calendar->lastArguments.at("list").arrayValue()->back(), Value(1));
}

TEST_F(MethodHandlersTest, MalformedCallsAreProtocolErrorsThatNoToolSees) {
    service->setCalendarEnabled(true);
    for (const auto* params : {R"({})", R"({"name":7})", R"({"name":"echo","arguments":[1]})",
                               R"({"name":"echo","arguments":"text"})", R"("echo")"}) {
        const auto reply = mcp::parseJSON(
            harness.replyTo(std::string(R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":)") + params + "}"));
        EXPECT_NE(reply.find("error"), nullptr) << params;
    }
    EXPECT_TRUE(calendar->handled.empty());
}

TEST_F(MethodHandlersTest, ResourcesAndPromptsAnswerWithFixedEmptyResults) {
    EXPECT_EQ(mcp::writeJSON(resultOf("resources/list", "{}")), R"({"resources":[]})");
    EXPECT_EQ(mcp::writeJSON(resultOf("resources/read", R"({"uri":"file:///etc/passwd"})")), R"({"contents":[]})");
    EXPECT_EQ(mcp::writeJSON(resultOf("prompts/list", "{}")), R"({"prompts":[]})");
    EXPECT_EQ(mcp::writeJSON(resultOf("prompts/get", R"({"name":"any","arguments":{"a":"b"}})")),
              R"({"description":"Prompt not found","messages":[]})");
}

TEST(PlainValueConversion, SchemasDropBytesAndArgumentsTurnWholeDoublesIntoIntegers) {
    const auto schema = Value::object({{"a", Value::data("xy", "image/png")}, {"b", Value::array({nullptr, 1.5})}});
    EXPECT_EQ(schemaJSON(schema), Value::object({{"a", nullptr}, {"b", Value::array({nullptr, 1.5})}}));

    struct Case {
        double in;
        Value out;
    };
    for (const auto& c : std::vector<Case>{{10.0, 10},
                                           {-0.0, 0},
                                           {2.5, 2.5},
                                           {1e300, 1e300},
                                           {-9223372036854775808.0, Value(INT64_MIN)},
                                           {9223372036854775808.0, 9223372036854775808.0}}) {
        EXPECT_EQ(callArgumentFromJSON(c.in), c.out) << c.in;
    }
    const auto bytes = Value::data("\x01\x02", "application/octet-stream");
    EXPECT_EQ(callArgumentFromJSON(bytes), bytes);
}

}  // namespace
}  // namespace lumenary::app
