#include <gtest/gtest.h>

#include "mcp/server/family_cases.hpp"
#include "mcp/server/tool.hpp"

namespace lumenary::mcp {
namespace {

using Kind = DecodingError::Kind;
using ToolContent = Tool::Content;

const Value schema = Value::object({{"type", "object"}});

TEST(Tool, WritesAndReadsBack) {
    expectWrittenAndReadBack<Tool>({
        // An absent description is the one optional written as null.
        {Tool{.name = "t", .inputSchema = schema},
         R"({"description":null,"inputSchema":{"type":"object"},"name":"t"})"},
        // The form the host builds every tool in: no "annotations" key.
        {Tool{.name = "t", .description = "Does t.", .inputSchema = schema},
         R"({"description":"Does t.","inputSchema":{"type":"object"},"name":"t"})"},
        {Tool{.name = "t", .description = "", .inputSchema = schema, .annotations = {.readOnlyHint = false}},
         R"({"annotations":{"readOnlyHint":false},"description":"","inputSchema":{"type":"object"},"name":"t"})"},
        {Tool{.name = "t",
              .inputSchema = Value::array({1, nullptr}),
              .annotations = {.title = "T", .destructiveHint = true, .idempotentHint = false, .openWorldHint = true}},
         R"({"annotations":{"destructiveHint":true,"idempotentHint":false,"openWorldHint":true,"title":"T"},)"
         R"("description":null,"inputSchema":[1,null],"name":"t"})"},
    });
}

TEST(Tool, MissingNullAndEmptyAnnotationsAllReadAsEmpty) {
    for (const char* json : {R"({"name":"t","inputSchema":{}})", R"({"name":"t","inputSchema":{},"annotations":null})",
                             R"({"name":"t","inputSchema":{},"annotations":{"title":null},"extra":1})"}) {
        SCOPED_TRACE(json);
        const auto tool = readAs<Tool>(json);
        EXPECT_TRUE(tool.annotations.isEmpty());
        EXPECT_FALSE(tool.description);
        EXPECT_EQ(writtenText(tool), R"({"description":null,"inputSchema":{},"name":"t"})");
    }
}

TEST(Tool, RefusesBadShapes) {
    expectRefused<Tool>({
        {R"({"inputSchema":{}})", Kind::keyNotFound, {}},
        {R"({"name":"t"})", Kind::keyNotFound, {}},
        {R"({"name":null,"inputSchema":{}})", Kind::valueNotFound, {"name"}},
        {R"({"name":"t","inputSchema":{},"description":7})", Kind::typeMismatch, {"description"}},
        {R"({"name":"t","inputSchema":{},"annotations":true})", Kind::typeMismatch, {"annotations"}},
        {R"({"name":"t","inputSchema":{},"annotations":{"readOnlyHint":"yes"}})",
         Kind::typeMismatch,
         {"annotations", "readOnlyHint"}},
    });
}

TEST(ToolAnnotations, EmptyOnlyWhenEveryMemberIsAbsent) {
    EXPECT_TRUE(Tool::Annotations{}.isEmpty());
    EXPECT_FALSE(Tool::Annotations{.title = ""}.isEmpty());
    EXPECT_FALSE(Tool::Annotations{.destructiveHint = false}.isEmpty());
    EXPECT_FALSE(Tool::Annotations{.idempotentHint = false}.isEmpty());
    EXPECT_FALSE(Tool::Annotations{.openWorldHint = false}.isEmpty());
    EXPECT_FALSE(Tool::Annotations{.readOnlyHint = false}.isEmpty());
}

TEST(ToolContent, WritesAndReadsBack) {
    expectWrittenAndReadBack<ToolContent>({
        {ToolContent::text("hi"), R"({"text":"hi","type":"text"})"},
        {ToolContent::image("AAA=", "image/png"), R"({"data":"AAA=","mimeType":"image/png","type":"image"})"},
        {ToolContent::image("AAA=", "image/png", std::map<std::string, std::string>{}),
         R"({"data":"AAA=","metadata":{},"mimeType":"image/png","type":"image"})"},
        {ToolContent::image("", "image/gif", std::map<std::string, std::string>{{"alt", "x"}}),
         R"({"data":"","metadata":{"alt":"x"},"mimeType":"image/gif","type":"image"})"},
        {ToolContent::audio("UklG", "audio/wav"), R"({"data":"UklG","mimeType":"audio/wav","type":"audio"})"},
        {ToolContent::resource("file:///a", "text/plain"),
         R"({"mimeType":"text/plain","type":"resource","uri":"file:///a"})"},
        {ToolContent::resource("file:///a", "text/plain", ""),
         R"({"mimeType":"text/plain","text":"","type":"resource","uri":"file:///a"})"},
    });
}

TEST(ToolContent, ReadsOnlyTheKeysOfItsCase) {
    EXPECT_EQ(readAs<ToolContent>(R"({"type":"image","data":"d","mimeType":"m","text":"ignored","metadata":null})"),
              ToolContent::image("d", "m"));
    EXPECT_EQ(readAs<ToolContent>(R"({"type":"text","text":"t","data":5})"), ToolContent::text("t"));
}

// A data URL in a string field is read as bytes by the JSON reader; the field
// must still come back as its text rather than fail as a non-string.
TEST(ToolContent, KeepsADataURLTextAsText) {
    EXPECT_EQ(readAs<ToolContent>(R"({"type":"text","text":"data:image/png;base64,SGk="})"),
              ToolContent::text("data:image/png;base64,SGk="));
}

TEST(ToolContent, RefusesUnknownTypesAndMissingFields) {
    expectRefused<ToolContent>({
        {R"({"type":"video","text":"x"})", Kind::dataCorrupted, {"type"}, "Unknown tool content type"},
        {R"({"type":"Text","text":"x"})", Kind::dataCorrupted, {"type"}, "Unknown tool content type"},
        {R"({"type":"","text":"x"})", Kind::dataCorrupted, {"type"}, "Unknown tool content type"},
        {R"({"text":"x"})", Kind::keyNotFound, {}},
        {R"({"type":1,"text":"x"})", Kind::typeMismatch, {"type"}},
        {R"({"type":"text"})", Kind::keyNotFound, {}},
        {R"({"type":"text","text":null})", Kind::valueNotFound, {"text"}},
        {R"({"type":"image","data":"d"})", Kind::keyNotFound, {}},
        {R"({"type":"image","data":"d","mimeType":"m","metadata":{"a":1}})", Kind::typeMismatch, {"metadata", "a"}},
        {R"({"type":"audio","mimeType":"m"})", Kind::keyNotFound, {}},
        {R"({"type":"resource","uri":"u"})", Kind::keyNotFound, {}},
        {R"({"type":"resource","uri":"u","mimeType":"m","text":false})", Kind::typeMismatch, {"text"}},
        {"[]", Kind::typeMismatch, {}},
    });
}

TEST(ToolContent, CasesAndOptionalsCompareAndHashApart) {
    expectDistinct<ToolContent>({
        ToolContent::text("d"),
        ToolContent::image("d", "m"),
        ToolContent::image("d", "m", std::map<std::string, std::string>{}),
        ToolContent::image("d", "m", std::map<std::string, std::string>{{"", ""}}),
        ToolContent::audio("d", "m"),
        ToolContent::resource("d", "m"),
        ToolContent::resource("d", "m", ""),
    });
}

TEST(Tool, MembersCompareAndHashApart) {
    expectDistinct<Tool>({
        Tool{.name = "t", .inputSchema = schema},
        Tool{.name = "t", .description = "", .inputSchema = schema},
        Tool{.name = "t", .inputSchema = Value::object({})},
        Tool{.name = "t", .inputSchema = schema, .annotations = {.readOnlyHint = false}},
        Tool{.name = "t", .inputSchema = schema, .annotations = {.readOnlyHint = true}},
        Tool{.name = "t", .inputSchema = schema, .annotations = {.openWorldHint = false}},
    });
}

}  // namespace
}  // namespace lumenary::mcp
