#include <gtest/gtest.h>

#include "mcp/server/family_cases.hpp"
#include "mcp/server/prompt.hpp"

namespace lumenary::mcp {
namespace {

using Kind = DecodingError::Kind;
using Message = Prompt::Message;
using Content = Prompt::Message::Content;
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
    expectWrittenAndReadBack<Content>({
        {"hello", R"({"text":"hello","type":"text"})"},
        {Content::image("AAA=", "image/png"), R"({"data":"AAA=","mimeType":"image/png","type":"image"})"},
        {Content::audio("UklG", "audio/wav"), R"({"data":"UklG","mimeType":"audio/wav","type":"audio"})"},
        {Content::resource("file:///a", "text/plain"),
         R"({"mimeType":"text/plain","type":"resource","uri":"file:///a"})"},
        {Content::resource("file:///a", "text/plain", "t", "YQ=="),
         R"({"blob":"YQ==","mimeType":"text/plain","text":"t","type":"resource","uri":"file:///a"})"},
        {Content::resource("u", "m", std::nullopt, ""), R"({"blob":"","mimeType":"m","type":"resource","uri":"u"})"},
    });
}

TEST(PromptMessageContent, StringsStandForText) {
    const std::string text = "from a string";
    const Content fromLiteral = "x";
    const Content fromString = text;
    EXPECT_EQ(fromLiteral, Content::text("x"));
    EXPECT_EQ(fromString, Content::text(text));
    EXPECT_EQ(Message::user("x"), (Message{.role = Role::user, .content = Content::text("x")}));
    EXPECT_EQ(Message::assistant(text), (Message{.role = Role::assistant, .content = text}));
}

TEST(PromptMessageContent, RefusesUnknownTypesAndMissingFields) {
    expectRefused<Content>({
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
    EXPECT_EQ(Message::roleNamed("user"), Role::user);
    EXPECT_EQ(Message::roleNamed("assistant"), Role::assistant);
    for (const char* name : {"User", "system", "", "user "}) {
        EXPECT_FALSE(Message::roleNamed(name)) << name;
    }
    expectRefused<Message>({
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
    expectDistinct<Content>({
        "d",
        Content::image("d", "m"),
        Content::audio("d", "m"),
        Content::resource("d", "m"),
        Content::resource("d", "m", ""),
        Content::resource("d", "m", std::nullopt, ""),
        Content::resource("d", "m", "", ""),
    });
}

TEST(Prompt, MembersCompareAndHashApart) {
    expectDistinct<Message>({Message::user("x"), Message::assistant("x"), Message::user("y")});
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
