#include <gtest/gtest.h>

#include "mcp/server/family_cases.hpp"
#include "mcp/server/prompt.hpp"

namespace lumenary::mcp {
namespace {

using Kind = DecodingError::Kind;
using PromptMessage = Prompt::Message;
using PromptContent = Prompt::Message::Content;
using Role = Prompt::Message::Role;

TEST(Prompt, WritesAndReadsBack) {
    expectWrittenAndReadBack<Prompt>({
        {{.name = "p"}, R"({"name":"p"})"},
        {{.name = "p", .arguments = std::vector<Prompt::Argument>{}}, R"({"arguments":[],"name":"p"})"},
        {{.name = "p",
          .description = "",
          .arguments = std::vector<Prompt::Argument>{{.name = "a", .required = false},
                                                     {.name = "b", .description = "B", .required = true},
                                                     {.name = "c"}}},
         R"({"arguments":[{"name":"a","required":false},{"description":"B","name":"b","required":true},)"
         R"({"name":"c"}],"description":"","name":"p"})"},
    });
}

TEST(Prompt, NullOptionalsReadAsAbsentAndStayUnwritten) {
    EXPECT_EQ(rewrittenText<Prompt>(R"({"name":"p","description":null,"arguments":null,"other":1})"),
              R"({"name":"p"})");
    EXPECT_EQ(rewrittenText<Prompt::Argument>(R"({"name":"a","description":null,"required":null})"), R"({"name":"a"})");
}

TEST(Prompt, RefusesBadShapes) {
    expectRefused<Prompt>({
        {R"({"description":"d"})", Kind::keyNotFound, {}},
        {R"({"name":"p","arguments":[{"required":true}]})", Kind::keyNotFound, {"arguments", "Index 0"}},
        {R"({"name":"p","arguments":[{"name":"a","required":"yes"}]})",
         Kind::typeMismatch,
         {"arguments", "Index 0", "required"}},
        {R"({"name":"p","arguments":{}})", Kind::typeMismatch, {"arguments"}},
    });
}

TEST(PromptMessageContent, WritesAndReadsBack) {
    expectWrittenAndReadBack<PromptContent>({
        {"hello", R"({"text":"hello","type":"text"})"},
        {PromptContent::image("AAA=", "image/png"), R"({"data":"AAA=","mimeType":"image/png","type":"image"})"},
        {PromptContent::audio("UklG", "audio/wav"), R"({"data":"UklG","mimeType":"audio/wav","type":"audio"})"},
        {PromptContent::resource("file:///a", "text/plain"),
         R"({"mimeType":"text/plain","type":"resource","uri":"file:///a"})"},
        {PromptContent::resource("file:///a", "text/plain", "t", "YQ=="),
         R"({"blob":"YQ==","mimeType":"text/plain","text":"t","type":"resource","uri":"file:///a"})"},
        {PromptContent::resource("u", "m", std::nullopt, ""),
         R"({"blob":"","mimeType":"m","type":"resource","uri":"u"})"},
    });
}

TEST(PromptMessageContent, StringsStandForText) {
    const std::string text = "from a string";
    const PromptContent fromLiteral = "x";
    const PromptContent fromString = text;
    EXPECT_EQ(fromLiteral, PromptContent::text("x"));
    EXPECT_EQ(fromString, PromptContent::text(text));
    EXPECT_EQ(PromptMessage::user("x"), (PromptMessage{.role = Role::user, .content = PromptContent::text("x")}));
    EXPECT_EQ(PromptMessage::assistant(text), (PromptMessage{.role = Role::assistant, .content = text}));
}

TEST(PromptMessageContent, RefusesUnknownTypesAndMissingFields) {
    expectRefused<PromptContent>({
        {R"({"type":"Text","text":"x"})", Kind::dataCorrupted, {"type"}, "Unknown content type"},
        {R"({"type":"video"})", Kind::dataCorrupted, {"type"}, "Unknown content type"},
        {R"({"text":"x"})", Kind::keyNotFound, {}},
        {R"({"type":null,"text":"x"})", Kind::valueNotFound, {"type"}},
        {R"({"type":"text"})", Kind::keyNotFound, {}},
        {R"({"type":"image","data":"d"})", Kind::keyNotFound, {}},
        {R"({"type":"audio","data":1,"mimeType":"m"})", Kind::typeMismatch, {"data"}},
        {R"({"type":"resource","uri":"u"})", Kind::keyNotFound, {}},
        {R"({"type":"resource","uri":"u","mimeType":"m","blob":[]})", Kind::typeMismatch, {"blob"}},
    });
}

TEST(PromptMessage, RolesAreNamedExactly) {
    EXPECT_EQ(PromptMessage::roleNamed("user"), Role::user);
    EXPECT_EQ(PromptMessage::roleNamed("assistant"), Role::assistant);
    for (const char* name : {"User", "system", "", "user "}) {
        EXPECT_FALSE(PromptMessage::roleNamed(name)) << name;
    }
    expectRefused<PromptMessage>({
        {R"({"role":"system","content":{"type":"text","text":""}})", Kind::dataCorrupted, {"role"}},
        {R"({"role":"user"})", Kind::keyNotFound, {}},
        {R"({"role":"user","content":"hi"})", Kind::typeMismatch, {"content"}},
    });
}

TEST(PromptReference, WritesItsTypeAndAcceptsAnyTypeString) {
    EXPECT_EQ(writtenText(Prompt::Reference{"p"}), R"({"name":"p","type":"ref/prompt"})");
    EXPECT_EQ(readAs<Prompt::Reference>(R"({"type":"ref/resource","name":"p"})"), Prompt::Reference{"p"});
    EXPECT_EQ(readAs<Prompt::Reference>(R"({"type":"","name":"q"})"), Prompt::Reference{"q"});
    expectRefused<Prompt::Reference>({
        {R"({"name":"p"})", Kind::keyNotFound, {}},
        {R"({"type":7,"name":"p"})", Kind::typeMismatch, {"type"}},
        {R"({"type":"ref/prompt"})", Kind::keyNotFound, {}},
    });
}

TEST(PromptMessageContent, CasesAndOptionalsCompareAndHashApart) {
    expectDistinct<PromptContent>({
        "d",
        PromptContent::image("d", "m"),
        PromptContent::audio("d", "m"),
        PromptContent::resource("d", "m"),
        PromptContent::resource("d", "m", ""),
        PromptContent::resource("d", "m", std::nullopt, ""),
        PromptContent::resource("d", "m", "", ""),
    });
}

TEST(Prompt, MembersCompareAndHashApart) {
    expectDistinct<PromptMessage>({PromptMessage::user("x"), PromptMessage::assistant("x"), PromptMessage::user("y")});
    expectDistinct<Prompt>({
        {.name = "p"},
        {.name = "p", .description = ""},
        {.name = "p", .arguments = std::vector<Prompt::Argument>{}},
        {.name = "p", .arguments = std::vector<Prompt::Argument>{{.name = "a"}}},
        {.name = "p", .arguments = std::vector<Prompt::Argument>{{.name = "a", .required = false}}},
        {.name = "p", .arguments = std::vector<Prompt::Argument>{{.name = "a", .required = true}}},
    });
}

}  // namespace
}  // namespace lumenary::mcp
