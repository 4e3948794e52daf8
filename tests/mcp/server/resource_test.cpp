#include <gtest/gtest.h>

#include "mcp/server/family_cases.hpp"
#include "mcp/server/resource.hpp"

namespace lumenary::mcp {
namespace {

using Kind = DecodingError::Kind;
using ResourceContent = Resource::Content;
using Metadata = std::map<std::string, std::string>;

TEST(Resource, WritesAndReadsBack) {
    expectWrittenAndReadBack<Resource>({
        {{.name = "r", .uri = "file:///r"}, R"({"name":"r","uri":"file:///r"})"},
        {{.name = "r", .uri = "u", .metadata = Metadata{}}, R"({"metadata":{},"name":"r","uri":"u"})"},
        {{.name = "r", .uri = "u", .description = "d", .mimeType = "text/plain", .metadata = Metadata{{"k", "v"}}},
         R"({"description":"d","metadata":{"k":"v"},"mimeType":"text/plain","name":"r","uri":"u"})"},
    });
    EXPECT_EQ(rewrittenText<Resource>(R"({"name":"r","uri":"u","description":null,"size":3})"),
              R"({"name":"r","uri":"u"})");
}

TEST(Resource, RefusesBadShapes) {
    expectRefused<Resource>({
        {R"({"name":"r"})", Kind::keyNotFound, {}},
        {R"({"uri":"u"})", Kind::keyNotFound, {}},
        {R"({"name":"r","uri":"u","metadata":{"k":1}})", Kind::typeMismatch, {"metadata", "k"}},
        {R"({"name":"r","uri":"u","mimeType":false})", Kind::typeMismatch, {"mimeType"}},
    });
}

TEST(ResourceContent, TextAndDataFactories) {
    EXPECT_EQ(ResourceContent::fromText("hi", "file:///a"), (ResourceContent{.uri = "file:///a", .text = "hi"}));
    EXPECT_EQ(ResourceContent::fromText("", "u", "text/plain"),
              (ResourceContent{.uri = "u", .mimeType = "text/plain", .text = ""}));
    EXPECT_EQ(ResourceContent::fromData(std::string_view("\x00\xff", 2), "u", "application/octet-stream"),
              (ResourceContent{.uri = "u", .mimeType = "application/octet-stream", .blob = "AP8="}));
    EXPECT_EQ(ResourceContent::fromData("hello", "u"), (ResourceContent{.uri = "u", .blob = "aGVsbG8="}));
    EXPECT_EQ(writtenText(ResourceContent::fromData("", "u")), R"({"blob":"","uri":"u"})");
}

// Reading checks no relation between fields and does not check the base64.
TEST(ResourceContent, WritesAndReadsBackAnyCombination) {
    expectWrittenAndReadBack<ResourceContent>({
        {{.uri = "u"}, R"({"uri":"u"})"},
        {{.uri = "u", .text = "t", .blob = "not base64!"}, R"({"blob":"not base64!","text":"t","uri":"u"})"},
        {{.uri = "u", .mimeType = "image/png", .blob = "AP8="}, R"({"blob":"AP8=","mimeType":"image/png","uri":"u"})"},
    });
    expectRefused<ResourceContent>({{R"({"text":"t"})", Kind::keyNotFound, {}}});
}

TEST(ResourceTemplate, WritesAndReadsBack) {
    expectWrittenAndReadBack<Resource::Template>({
        {{.uriTemplate = "file:///{path}", .name = "files"}, R"({"name":"files","uriTemplate":"file:///{path}"})"},
        {{.uriTemplate = "t", .name = "n", .description = "d", .mimeType = "m"},
         R"({"description":"d","mimeType":"m","name":"n","uriTemplate":"t"})"},
    });
    expectRefused<Resource::Template>({{R"({"name":"n"})", Kind::keyNotFound, {}}});
}

TEST(Resource, MembersCompareAndHashApart) {
    expectDistinct<Resource>({
        {.name = "r", .uri = "u"},
        {.name = "u", .uri = "r"},
        {.name = "r", .uri = "u", .description = ""},
        {.name = "r", .uri = "u", .mimeType = ""},
        {.name = "r", .uri = "u", .metadata = Metadata{}},
        {.name = "r", .uri = "u", .metadata = Metadata{{"", ""}}},
    });
    expectDistinct<ResourceContent>({{.uri = "u"},
                                     ResourceContent::fromText("", "u"),
                                     ResourceContent::fromData("", "u"),
                                     {.uri = "u", .mimeType = ""}});
}

}  // namespace
}  // namespace lumenary::mcp
