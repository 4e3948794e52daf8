#include <gtest/gtest.h>

#include "mcp/core/message.hpp"
#include "mcp/core/request.hpp"
#include "mcp/core/response.hpp"
#include "mcp/server/family_cases.hpp"
#include "mcp/server/resource_methods.hpp"

namespace lumenary::mcp {
namespace {

using Kind = DecodingError::Kind;

static_assert(Method<ListResources> && Method<ReadResource> && Method<ListResourceTemplates> &&
              Method<ResourceSubscribe>);
static_assert(Notification<ResourceListChangedNotification> && Notification<ResourceUpdatedNotification>);
static_assert(ListResources::name == "resources/list" && ReadResource::name == "resources/read" &&
              ListResourceTemplates::name == "resources/templates/list" &&
              ResourceSubscribe::name == "resources/subscribe");
static_assert(ResourceListChangedNotification::name == "notifications/resources/list_changed" &&
              ResourceUpdatedNotification::name == "notifications/resources/updated");
static_assert(isNotRequired<ListResources::Parameters> && isNotRequired<ListResourceTemplates::Parameters>);
static_assert(!isNotRequired<ReadResource::Parameters> && !isNotRequired<ResourceSubscribe::Parameters> &&
              !isNotRequired<ResourceUpdatedNotification::Parameters>);

TEST(ListResources, RequestWithoutParamsAsksForTheFirstPage) {
    EXPECT_FALSE(readAs<Request<ListResources>>(R"({"jsonrpc":"2.0","id":1,"method":"resources/list"})").params.cursor);
    EXPECT_FALSE(
        readAs<Request<ListResourceTemplates>>(R"({"jsonrpc":"2.0","id":1,"method":"resources/templates/list"})")
            .params.cursor);
    expectWrittenAndReadBack<ListResources::Parameters>({{{}, "{}"}, {{.cursor = "c"}, R"({"cursor":"c"})"}});
    expectWrittenAndReadBack<ListResourceTemplates::Parameters>({{{}, "{}"}, {{.cursor = "c"}, R"({"cursor":"c"})"}});
}

TEST(ReadResource, RequestsWithoutParamsAreRefused) {
    for (const char* json : {R"({"jsonrpc":"2.0","id":1,"method":"resources/read"})",
                             R"({"jsonrpc":"2.0","id":1,"method":"resources/subscribe"})"}) {
        SCOPED_TRACE(json);
        auto read = readingFailure<Request<ReadResource>>(json);
        auto subscribe = readingFailure<Request<ResourceSubscribe>>(json);
        ASSERT_TRUE(read && subscribe);
        EXPECT_EQ(read->description(), "Missing required params field");
        EXPECT_EQ(subscribe->description(), "Missing required params field");
    }
    auto failure =
        readingFailure<Request<ReadResource>>(R"({"jsonrpc":"2.0","id":1,"method":"resources/read","params":{}})");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description(), "Invalid params field");
}

TEST(ResourceMethods, ResultsWriteAndReadBack) {
    expectWrittenAndReadBack<ListResources::Result>({
        {{.resources = {}}, R"({"resources":[]})"},
        {{.resources = {{.name = "r", .uri = "u"}}, .nextCursor = "n"},
         R"({"nextCursor":"n","resources":[{"name":"r","uri":"u"}]})"},
    });
    expectWrittenAndReadBack<ReadResource::Result>({
        {{.contents = {}}, R"({"contents":[]})"},
        {{.contents = {Resource::Content::fromText("t", "u"), Resource::Content::fromData("", "v", "image/png")}},
         R"({"contents":[{"text":"t","uri":"u"},{"blob":"","mimeType":"image/png","uri":"v"}]})"},
    });
    expectWrittenAndReadBack<ListResourceTemplates::Result>({
        {{.templates = {}}, R"({"resourceTemplates":[]})"},
        {{.templates = {{.uriTemplate = "t", .name = "n"}}, .nextCursor = "c"},
         R"({"nextCursor":"c","resourceTemplates":[{"name":"n","uriTemplate":"t"}]})"},
    });
    expectWrittenAndReadBack<ReadResource::Parameters>({{{.uri = "file:///a"}, R"({"uri":"file:///a"})"}});
    expectWrittenAndReadBack<ResourceSubscribe::Parameters>({{{.uri = "file:///a"}, R"({"uri":"file:///a"})"}});
}

TEST(ResourceMethods, ResultsRefuseMissingLists) {
    expectRefused<ListResourceTemplates::Result>({{R"({"templates":[]})", Kind::keyNotFound, {}}});
    expectRefused<ListResources::Result>(
        {{R"({"resources":[{"name":"r"}]})", Kind::keyNotFound, {"resources", "Index 0"}}});
    expectRefused<ReadResource::Result>({{R"({"contents":null})", Kind::valueNotFound, {"contents"}}});
    expectRefused<ReadResource::Parameters>({{R"({"url":"u"})", Kind::keyNotFound, {}}});
}

TEST(ResourceSubscribe, SuccessCarriesAnEmptyObject) {
    EXPECT_EQ(writtenText(Response<ResourceSubscribe>::success(ID("s"), {})),
              R"({"id":"s","jsonrpc":"2.0","result":{}})");
}

TEST(ResourceNotifications, CarryNoParamsOrOnlyTheURI) {
    EXPECT_EQ(writtenText(Message<ResourceListChangedNotification>()),
              R"({"jsonrpc":"2.0","method":"notifications/resources/list_changed"})");
    const Message<ResourceUpdatedNotification> updated(ResourceUpdatedNotification::Parameters{"file:///a"});
    const std::string json =
        R"({"jsonrpc":"2.0","method":"notifications/resources/updated","params":{"uri":"file:///a"}})";
    EXPECT_EQ(writtenText(updated), json);
    EXPECT_EQ(readAs<Message<ResourceUpdatedNotification>>(json), updated);
}

}  // namespace
}  // namespace lumenary::mcp
