#include "http_client/http_client.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

#include "http_client/http_client_library.hpp"
#include "support/fake_http_endpoint.hpp"

namespace lumenary::http_client {
namespace {

using namespace std::chrono_literals;
using testing::CannedHTTPResponse;
using testing::FakeHTTPEndpoint;
using testing::ReceivedHTTPRequest;

TEST(HTTPClient, SendsEachMethodAndReadsTheWholeResponseOverOneClient) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        if (request.method == "OPTIONS") return CannedHTTPResponse{.status = 204};
        if (request.method == "DELETE") return CannedHTTPResponse{.status = 204};
        if (request.path == "/moved") return CannedHTTPResponse{.status = 302, .headers = {{"Location", "/mcp"}}};
        return CannedHTTPResponse{
            .status = 200, .headers = {{"mcp-SESSION-id", "S-1"}}, .body = "echo:" + request.body};
    });
    struct Case {
        HTTPClientRequest request;
        int status;
        std::string body;
    };
    const std::vector<Case> cases = {
        {{.method = "POST", .url = endpoint.url(), .headers = {{"Content-Type", "application/json"}}, .body = "{}"},
         200,
         "echo:{}"},
        {{.method = "OPTIONS", .url = endpoint.url()}, 204, ""},
        {{.method = "DELETE", .url = endpoint.url(), .headers = {{"Mcp-Session-Id", "S-1"}}}, 204, ""},
        {{.method = "GET", .url = endpoint.url("/moved")}, 302, ""},
        // Past the 1 KiB where a client might wait for "100 Continue".
        {{.method = "POST", .url = endpoint.url(), .body = std::string(5000, 'x')},
         200,
         "echo:" + std::string(5000, 'x')},
    };

    // One client for all: the endpoint closes every connection after its
    // answer, and the client must notice and connect again.
    HTTPClient client;
    for (std::size_t index = 0; index < cases.size(); ++index) {
        const auto result = client.send(cases[index].request);
        const auto* response = std::get_if<HTTPClientResponse>(&result);
        ASSERT_NE(response, nullptr) << index << ": " << std::get<HTTPClientError>(result).description;
        EXPECT_EQ(response->status, cases[index].status) << index;
        EXPECT_EQ(response->body, cases[index].body) << index;
        if (cases[index].status == 200) {
            EXPECT_EQ(response->headers.value("Mcp-Session-Id"), "S-1") << index;
        }

        const auto received = endpoint.requests().at(index);
        EXPECT_EQ(received.method, cases[index].request.method) << index;
        EXPECT_EQ(received.body, cases[index].request.body) << index;
        for (const auto& field : cases[index].request.headers.fields()) {
            std::string name = field.name;
            for (char& character : name) character = static_cast<char>(std::tolower(character));
            EXPECT_EQ(received.header(name), field.value) << index;
        }
    }
    // The redirect was handed back, not followed.
    EXPECT_EQ(endpoint.requests().size(), cases.size());
}

TEST(HTTPClient, ReportsEachFailureAsAnErrorValue) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        if (request.path == "/slow") return CannedHTTPResponse{.heldUntilReleased = true};
        if (request.path == "/hang-up") return CannedHTTPResponse{.hangUp = true};
        return CannedHTTPResponse{.status = 200, .body = std::string(2000, 'b')};
    });
    const auto unused = testing::unusedLoopbackPort();
    struct Case {
        std::string url;
        HTTPClientTimeouts timeouts;
        HTTPClientError::Kind kind;
        std::string mentioned;
    };
    const std::vector<Case> cases = {
        {"http://127.0.0.1:" + std::to_string(unused) + "/mcp",
         {},
         HTTPClientError::Kind::couldNotConnect,
         std::to_string(unused)},
        {endpoint.url("/slow"), {.idle = 100ms}, HTTPClientError::Kind::timedOut, ""},
        {endpoint.url("/slow"), {.idle = 60s, .total = 200ms}, HTTPClientError::Kind::timedOut, ""},
        {endpoint.url("/hang-up"), {}, HTTPClientError::Kind::failed, ""},
        {endpoint.url("/large"), {}, HTTPClientError::Kind::responseTooLarge, "1000 bytes"},
    };
    HTTPClient client(1000);
    for (const auto& each : cases) {
        const auto result = client.send({.method = "POST", .url = each.url, .body = "{}", .timeouts = each.timeouts});
        const auto* error = std::get_if<HTTPClientError>(&result);
        ASSERT_NE(error, nullptr) << each.url;
        EXPECT_EQ(error->kind, each.kind) << each.url << ": " << error->description;
        EXPECT_FALSE(error->description.empty()) << each.url;
        EXPECT_NE(error->description.find(each.mentioned), std::string::npos) << error->description;
    }
}

TEST(HTTPClient, ReachesTheLoopbackHostDirectlyWhateverTheProxySettings) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) { return CannedHTTPResponse{.status = 204}; });
    const std::string deadProxy = "http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort());
    const std::vector<std::string> variables = {"http_proxy", "HTTP_PROXY", "ALL_PROXY", "all_proxy"};
    for (const auto& variable : variables) ::setenv(variable.c_str(), deadProxy.c_str(), 1);
    ::setenv("NO_PROXY", "", 1);

    HTTPClient client;
    const auto result = client.send({.method = "OPTIONS", .url = endpoint.url()});

    for (const auto& variable : variables) ::unsetenv(variable.c_str());
    ::unsetenv("NO_PROXY");
    ASSERT_TRUE(std::holds_alternative<HTTPClientResponse>(result)) << std::get<HTTPClientError>(result).description;
    EXPECT_EQ(std::get<HTTPClientResponse>(result).status, 204);
}

TEST(HTTPClientLibrary, SaysWhyALibraryThatIsNotThereCouldNotBeLoaded) {
    const auto outcome = HTTPClientLibrary::load("libcurl-not-installed.so.4");
    const auto* error = std::get_if<HTTPClientError>(&outcome);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->kind, HTTPClientError::Kind::failed);
    EXPECT_TRUE(error->description.starts_with("libcurl could not be loaded: ")) << error->description;
    EXPECT_NE(error->description.find("libcurl-not-installed.so.4"), std::string::npos) << error->description;
}

}  // namespace
}  // namespace lumenary::http_client
