// The maps tools end to end over the HTTP backend, against a local service
// that answers in the geocoder's and the router's API forms.
#include <gtest/gtest.h>

#include <memory>

#include "app/tools/category_call.hpp"
#include "app/tools/maps/maps_tool_handler.hpp"
#include "platform/maps/http_maps_backend.hpp"
#include "support/fake_http_endpoint.hpp"
#include "support/recording_url_opener.hpp"
#include "support/scoped_environment.hpp"

namespace lumenary::app {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::CannedHTTPResponse;
using lumenary::testing::FakeHTTPEndpoint;
using lumenary::testing::ReceivedHTTPRequest;
using testing::categoryCallText;

CannedHTTPResponse mapsService(const ReceivedHTTPRequest& request) {
    const auto search = [&request](const std::string& query) {
        return request.path.starts_with("/search?q=" + query + "&");
    };
    if (search("Berlin")) return {.body = R"([{"lat": "52.52", "lon": "13.40", "name": "Berlin"}])"};
    if (search("Potsdam")) return {.body = R"([{"lat": "52.39", "lon": "13.06", "name": "Potsdam"}])"};
    if (search("Honolulu")) return {.body = R"([{"lat": "21.30", "lon": "-157.85", "name": "Honolulu"}])"};
    if (search("Slowtown")) return {.body = R"([{"lat": "1", "lon": "1", "name": "Slowtown"}])"};
    if (search("Atlantis")) return {.body = "[]"};
    if (search("Broken")) return {.status = 500, .body = "<h1>Internal Server Error</h1>"};
    if (request.path.find("-157.85") != std::string::npos) {
        return {.status = 400, .body = R"({"code": "NoRoute", "message": "Impossible route between points"})"};
    }
    if (request.path.find("1.0000000,1.0000000") != std::string::npos) return {.heldUntilReleased = true};
    if (request.path.starts_with("/route/v1/foot/")) {
        return {.body = R"({"code": "Ok", "routes": [{"distance": 24000, "duration": 18000}]})"};
    }
    if (request.path.starts_with("/route/v1/driving/")) {
        return {.body = R"({"code": "Ok", "routes": [{"distance": 34567.8, "duration": 2460}]})"};
    }
    return {.status = 404};
}

TEST(MapsToolsOverHTTP, GetDirectionsAsksOnlyWhatItNeedsAndAnswersEveryOutcome) {
    lumenary::testing::ScopedEnvironment environment;
    environment.set("LC_ALL", "en_GB.UTF-8");
    struct Case {
        PlainDictionary arguments;
        std::string answer;
        std::size_t requests;
    };
    const std::vector<Case> cases = {
        {{{"from", "Berlin"}, {"to", "Potsdam"}}, "Route found: 34.6 km, 41 minutes via automobile", 3},
        {{{"from", "Berlin"}, {"to", "Potsdam"}, {"transport", "walking"}},
         "Route found: 24 km, 5 hours via walking",
         3},
        {{{"from", "Atlantis"}, {"to", "Potsdam"}}, "Could not find start location: Atlantis", 1},
        {{{"from", "Berlin"}, {"to", "Atlantis"}}, "Could not find destination: Atlantis", 2},
        {{{"from", "Berlin"}, {"to", "Honolulu"}}, "No route found.", 3},
        {{{"from", "Berlin"}, {"to", "Potsdam"}, {"transport", "transit"}},
         "MapsTool 500 Transit routing is not available with the configured router: ask for automobile or walking "
         "directions, or set LUMENARY_MAPS_ROUTER_URL or the defaults key mapsRouterURL to a router that offers it.",
         0},
        {{{"from", "Broken"}, {"to", "Potsdam"}}, "MapsBackend 502 Place search failed: ORIGIN answered status 500", 1},
        {{{"from", "Berlin"}, {"to", "Slowtown"}},
         "MapsBackend 504 Route search failed: no answer from ORIGIN within 0.5 s",
         3},
    };
    for (const auto& [arguments, answer, requests] : cases) {
        FakeHTTPEndpoint service(mapsService);
        MapsToolHandler maps(std::make_shared<MapsService>(
            std::make_shared<platform::HTTPMapsBackend>(platform::HTTPMapsBackendSettings{
                .geocoderURL = service.url("/"),
                .routerURL = service.url("/route/v1/{profile}"),
                .userAgent = "Lumenary/test",
                .requestTimeout = 500ms,
                .requestSpacing = 0ms}),
            std::make_shared<lumenary::testing::RecordingUrlOpener>(), "unused"));

        auto expected = answer;
        if (const auto origin = expected.find("ORIGIN"); origin != std::string::npos) {
            expected.replace(origin, 6, "http://127.0.0.1:" + std::to_string(service.port()));
        }
        EXPECT_EQ(categoryCallText(maps, "get_directions", arguments), expected);
        service.release();
        EXPECT_EQ(service.requests().size(), requests) << answer;
    }
}

}  // namespace
}  // namespace lumenary::app
