// The real program with its maps and mail categories switched on by the
// user's defaults: maps over a local fake geocoder and router named by the
// environment, mail over xdg-open on a desktop with no mail program.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "app/host/program_test_support.hpp"
#include "mcp/core/json.hpp"
#include "platform/program/program_version.hpp"
#include "support/child_process.hpp"
#include "support/fake_http_endpoint.hpp"
#include "support/scratch_desktop.hpp"

namespace lumenary {
namespace {

using testing::CannedHTTPResponse;
using testing::ReceivedHTTPRequest;

CannedHTTPResponse mapsService(const ReceivedHTTPRequest& request) {
    if (request.path.starts_with("/search?q=Berlin&")) {
        return {.body = R"([{"lat": "52.52", "lon": "13.40", "name": "Berlin", "address": {"state": "Berlin"}}])"};
    }
    if (request.path.starts_with("/search?q=Potsdam&")) {
        return {.body = R"([{"lat": "52.39", "lon": "13.06", "name": "Potsdam"}])"};
    }
    if (request.path.starts_with("/router/driving/")) {
        return {.body = R"({"code": "Ok", "routes": [{"distance": 34567.8, "duration": 2460}]})"};
    }
    return {.status = 404};
}

class MapsAndMailProgramTest : public ::testing::Test {
protected:
    MapsAndMailProgramTest() {
        environment.set("LUMENARY_CONFIG_DIR", folder.path().string());
        environment.set("LUMENARY_MAPS_GEOCODER_URL", service.url("/"));
        environment.set("LUMENARY_MAPS_ROUTER_URL", service.url("/router/{profile}"));
        environment.set("LC_ALL", std::nullopt);
        environment.set("LC_MEASUREMENT", "en_GB.UTF-8");
        std::ofstream(folder.path() / "defaults.json")
            << R"({"mcp_server_port":)" << testing::freePort() << R"(,"isMapsEnabled":true,"isMailEnabled":true})";
    }

    // The text of a tools/call result ("Error: ..." when it failed).
    std::string callTool(testing::ChildProcess& program, const std::string& name, const std::string& arguments) {
        return testing::toolCallText(program, ++lastID, name, arguments, std::chrono::seconds(20));
    }

    testing::ScratchDesktop desktop;
    testing::ScopedEnvironment environment;
    testing::TemporaryDirectory folder;
    testing::FakeHTTPEndpoint service{mapsService};
    int lastID = 1;
};

TEST_F(MapsAndMailProgramTest, SearchesRoutesAndOpensTheMailComposerThroughTheDesktop) {
    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "err").string());
    program.writeLine(
        R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
        R"("capabilities":{},"clientInfo":{"name":"test","version":"1"}}})");
    ASSERT_TRUE(program.readLine());

    EXPECT_EQ(callTool(program, "search_locations", R"({"query":"Berlin"})"),
              "[\n  {\n    \"address\": \"Berlin\",\n    \"name\": \"Berlin\"\n  }\n]");
    EXPECT_EQ(callTool(program, "get_directions", R"({"from":"Berlin","to":"Potsdam"})"),
              "Route found: 34.6 km, 41 minutes via automobile");
    ASSERT_GE(service.requests().size(), 3U);
    EXPECT_EQ(service.requests().at(0).header("user-agent"), platform::programUserAgent());

    if (testing::ScratchDesktop::hasXdgOpen()) {
        EXPECT_EQ(callTool(program, "send_email", R"({"recipient":"ada@example.org"})"),
                  "Error: Failed to open mail composer: xdg-open: no method available for opening "
                  "'mailto:ada@example.org'");
    }

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0);
}

}  // namespace
}  // namespace lumenary
