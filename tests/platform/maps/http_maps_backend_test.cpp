#include "platform/maps/http_maps_backend.hpp"

#include <gtest/gtest.h>

#include <mutex>

#include "platform/defaults/memory_defaults_store.hpp"
#include "platform/program/program_version.hpp"
#include "support/fake_http_endpoint.hpp"
#include "support/scoped_environment.hpp"

namespace lumenary::platform {
namespace {

using namespace std::chrono_literals;
using testing::CannedHTTPResponse;
using testing::FakeHTTPEndpoint;
using testing::ReceivedHTTPRequest;

CannedHTTPResponse json(std::string body, int status = 200) {
    return {.status = status, .headers = {{"Content-Type", "application/json"}}, .body = std::move(body)};
}

HTTPMapsBackendSettings settingsFor(const FakeHTTPEndpoint& endpoint) {
    return {.geocoderURL = endpoint.url("/geocoder/"),
            .routerURL = endpoint.url("/routed-{profile}/route/v1/{profile}"),
            .userAgent = programUserAgent(),
            .requestTimeout = 10s,
            .requestSpacing = 0ms};
}

// "name | street | locality | area | postcode | lat,lon" of each place.
std::vector<std::string> describedPlaces(const std::vector<MapPlace>& places) {
    std::vector<std::string> lines;
    for (const auto& place : places) {
        const auto part = [](const std::optional<std::string>& value) { return value.value_or("-"); };
        lines.push_back(part(place.name) + " | " + part(place.street) + " | " + part(place.locality) + " | " +
                        part(place.administrativeArea) + " | " + part(place.postalCode) + " | " +
                        std::to_string(place.latitude) + "," + std::to_string(place.longitude));
    }
    return lines;
}

std::string failureOf(const PlatformError& error) {
    return error.domain + " " + std::to_string(error.code) + " " + error.description;
}

const char* const berlinHits = R"([
  {"place_id": 1, "lat": "52.5163", "lon": "13.3777", "name": "Brandenburger Tor", "display_name": "x",
   "address": {"road": "Pariser Platz", "house_number": "1", "city": "Berlin", "town": "not this",
               "state": "Berlin", "postcode": "10117"}},
  {"lat": 48.1, "lon": 11.5, "name": "", "address": {"village": "Dorf", "postcode": 85354}},
  {"lon": "13.0", "name": "No latitude"},
  "not a place",
  {"lat": "north", "lon": "13.0", "name": "Latitude that is no number"},
  {"lat": "47.0", "lon": "8.0", "address": {"road": "Bahnhofstrasse", "town": "Zug", "state": "Zug"}},
  {"lat": "1", "lon": "2", "name": "Past the limit"}
])";

TEST(HTTPMapsBackend, ServiceURLsComeFromTheEnvironmentElseTheDefaultsElseThePublicInstances) {
    struct Case {
        std::optional<std::string> variable;
        std::optional<std::string> stored;
        std::string chosen;
    };
    const std::vector<Case> cases = {
        {"http://env.example/", "http://stored.example", "http://env.example/"},
        {"", "http://stored.example", "http://stored.example"},
        {std::nullopt, "", ""},
        {std::nullopt, std::nullopt, ""},
    };
    for (const auto& [variable, stored, chosen] : cases) {
        testing::ScopedEnvironment environment;
        environment.set("LUMENARY_MAPS_GEOCODER_URL", variable);
        environment.set("LUMENARY_MAPS_ROUTER_URL", variable);
        MemoryDefaultsStore defaults;
        if (stored) {
            defaults.set("mapsGeocoderURL", *stored);
            defaults.set("mapsRouterURL", *stored);
        }
        const auto settings = HTTPMapsBackendSettings::configured(defaults);
        if (chosen.empty()) {
            EXPECT_EQ(settings.geocoderURL, "https://nominatim.openstreetmap.org");
            EXPECT_EQ(settings.routerURL, "https://router.project-osrm.org/route/v1/{profile}");
        } else {
            EXPECT_EQ(settings.geocoderURL, chosen);
            EXPECT_EQ(settings.routerURL, chosen);
        }
        EXPECT_EQ(settings.requestTimeout, 15s);
        EXPECT_EQ(settings.requestSpacing, 1s);
        EXPECT_EQ(settings.userAgent, "Lumenary/" + programVersion());
    }
}

TEST(HTTPMapsBackend, SearchAsksTheGeocodersSearchAPIAndReadsTheHitsItCanUse) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) { return json(berlinHits); });
    HTTPMapsBackend backend(settingsFor(endpoint));

    const auto places = backend.searchPlaces("Café & \"Bar\" #1\nBerlin", 3);

    ASSERT_TRUE(places) << failureOf(places.error());
    EXPECT_EQ(describedPlaces(places.value()),
              (std::vector<std::string>{
                  "Brandenburger Tor | 1 Pariser Platz | Berlin | Berlin | 10117 | 52.516300,13.377700",
                  "- | - | Dorf | - | 85354 | 48.100000,11.500000",
                  "- | Bahnhofstrasse | Zug | Zug | - | 47.000000,8.000000",
              }))
        << "hits without usable coordinates are left out; the limit counts the places kept";
    const auto request = endpoint.requests().at(0);
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path,
              "/geocoder/search?q=Caf%C3%A9%20%26%20%22Bar%22%20%231%0ABerlin&format=jsonv2&addressdetails=1&limit=3");
    EXPECT_EQ(request.header("user-agent"), "Lumenary/" + programVersion());
}

TEST(HTTPMapsBackend, SearchAsksForNoMoreThanTheGeocoderGivesAndNothingForALimitOfZero) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) { return json("[]"); });
    HTTPMapsBackend backend(settingsFor(endpoint));
    const std::string longQuery(10'000, 'q');

    ASSERT_TRUE(backend.searchPlaces(longQuery, 500));
    EXPECT_TRUE(endpoint.requests().at(0).path.ends_with("&limit=40"));
    EXPECT_TRUE(endpoint.requests().at(0).path.starts_with("/geocoder/search?q=" + longQuery + "&"));

    const auto none = backend.searchPlaces("Berlin", 0);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none.value().empty());
    EXPECT_EQ(endpoint.requests().size(), 1U);
}

TEST(HTTPMapsBackend, AGeocoderAnswerThatIsNotAListOfPlacesIsAFailureThatSaysWhy) {
    struct Case {
        CannedHTTPResponse answer;
        std::string failure;
    };
    const std::vector<Case> cases = {
        {json("<html>busy</html>"), "502 Place search failed: the answer from ORIGIN is not JSON"},
        {json(R"({"error": "Unable to geocode"})"),
         "502 Place search failed: the answer from ORIGIN is not a list of places"},
        {json("[]", 503), "502 Place search failed: ORIGIN answered status 503"},
        {{.status = 500, .body = "Internal error"}, "502 Place search failed: ORIGIN answered status 500"},
        {json(std::string(100 * 1024 * 1024, ' ')),
         "502 Place search failed: the answer from ORIGIN is larger than 8 MiB"},
    };
    for (const auto& [answer, failure] : cases) {
        FakeHTTPEndpoint endpoint([answer](const ReceivedHTTPRequest&) { return answer; });
        HTTPMapsBackend backend(settingsFor(endpoint));
        const auto places = backend.searchPlaces("Berlin", 5);
        ASSERT_FALSE(places) << failure;
        auto expected = failure;
        const auto originText = "http://127.0.0.1:" + std::to_string(endpoint.port());
        expected.replace(expected.find("ORIGIN"), 6, originText);
        EXPECT_EQ(failureOf(places.error()), "MapsBackend " + expected);
    }
}

TEST(HTTPMapsBackend, NoConnectionAndNoAnswerInTimeAreFailuresOfTheirOwn) {
    HTTPMapsBackendSettings nowhere{.geocoderURL = "http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()),
                                    .routerURL = "unused",
                                    .userAgent = "test",
                                    .requestSpacing = 0ms};
    const auto refused = HTTPMapsBackend(nowhere).searchPlaces("Berlin", 1);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, 503);
    EXPECT_TRUE(refused.error().description.starts_with("Place search failed: ")) << refused.error().description;

    FakeHTTPEndpoint slow([](const ReceivedHTTPRequest&) { return CannedHTTPResponse{.heldUntilReleased = true}; });
    auto settings = settingsFor(slow);
    settings.requestTimeout = 300ms;
    const auto started = std::chrono::steady_clock::now();
    const auto late = HTTPMapsBackend(settings).searchPlaces("Berlin", 1);
    slow.release();
    ASSERT_FALSE(late);
    EXPECT_EQ(failureOf(late.error()), "MapsBackend 504 Place search failed: no answer from http://127.0.0.1:" +
                                           std::to_string(slow.port()) + " within 0.3 s");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

TEST(HTTPMapsBackend, RouteAsksTheRouteAPIWithTheProfileInTheTemplateAndReadsTheFirstRoute) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) {
        return json(R"({"code": "Ok", "routes": [{"distance": 12345.6, "duration": 3903.2, "legs": []},
                                                  {"distance": 1, "duration": 1}], "waypoints": []})");
    });
    HTTPMapsBackend backend(settingsFor(endpoint));
    const MapPlace from{.latitude = 52.5163, .longitude = 13.3777};
    const MapPlace to{.latitude = -33.8688, .longitude = 151.2093};

    for (const auto& [profile, path] : std::vector<std::pair<RouteProfile, std::string>>{
             {RouteProfile::driving,
              "/routed-driving/route/v1/driving/13.3777000,52.5163000;151.2093000,-33.8688000"
              "?overview=false&alternatives=false"},
             {RouteProfile::foot,
              "/routed-foot/route/v1/foot/13.3777000,52.5163000;151.2093000,-33.8688000"
              "?overview=false&alternatives=false"}}) {
        const auto route = backend.route(from, to, profile);
        ASSERT_TRUE(route) << failureOf(route.error());
        ASSERT_TRUE(route.value());
        EXPECT_DOUBLE_EQ(route.value()->distanceMetres, 12345.6);
        EXPECT_DOUBLE_EQ(route.value()->durationSeconds, 3903.2);
        EXPECT_EQ(endpoint.requests().back().path, path);
    }
}

TEST(HTTPMapsBackend, ARouterThatKnowsNoRouteAnswersNoneAndOtherRefusalsAreFailures) {
    struct Case {
        CannedHTTPResponse answer;
        // Empty: no route.
        std::string failure;
    };
    const std::vector<Case> cases = {
        {json(R"({"code": "NoRoute", "message": "Impossible route between points"})", 400), ""},
        {json(R"({"code": "NoSegment", "message": "Could not find a matching segment"})", 400), ""},
        {json(R"({"code": "Ok", "routes": []})"), ""},
        {json(R"({"code": "InvalidQuery", "message": "Query string malformed"})", 400),
         "502 Route search failed: ORIGIN answered status 400, InvalidQuery: Query string malformed"},
        {{.status = 500, .body = "<h1>Internal Server Error</h1>"}, "502 Route search failed: ORIGIN answered status 500"},
        {json(R"({"code": "Ok"})"), "502 Route search failed: the answer from ORIGIN has no list of routes"},
        {json(R"({"code": "Ok", "routes": [{"distance": "12", "duration": 3}]})"),
         "502 Route search failed: the route from ORIGIN lacks its distance or duration"},
    };
    for (const auto& [answer, failure] : cases) {
        FakeHTTPEndpoint endpoint([answer](const ReceivedHTTPRequest&) { return answer; });
        HTTPMapsBackend backend(settingsFor(endpoint));
        const auto route = backend.route(MapPlace{}, MapPlace{}, RouteProfile::driving);
        if (failure.empty()) {
            ASSERT_TRUE(route) << answer.body << ": " << failureOf(route.error());
            EXPECT_FALSE(route.value()) << answer.body;
            continue;
        }
        ASSERT_FALSE(route) << answer.body;
        auto expected = failure;
        expected.replace(expected.find("ORIGIN"), 6, "http://127.0.0.1:" + std::to_string(endpoint.port()));
        EXPECT_EQ(failureOf(route.error()), "MapsBackend " + expected);
    }
}

TEST(HTTPMapsBackend, RequestsToASpacedHostKeepTheirSpacing) {
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) {
        std::lock_guard lock(mutex);
        arrivals.push_back(std::chrono::steady_clock::now());
        return json("[]");
    });
    auto settings = settingsFor(endpoint);
    settings.requestSpacing = 300ms;
    settings.spacedOrigins = {urlOrigin(endpoint.url("/"))};
    HTTPMapsBackend backend(settings);

    // The first request also loads the transfer library, so the spacing is
    // measured between the later ones.
    for (int index = 0; index < 4; ++index) {
        ASSERT_TRUE(backend.searchPlaces("Berlin", 1));
    }
    std::lock_guard lock(mutex);
    ASSERT_EQ(arrivals.size(), 4U);
    EXPECT_GE(arrivals[2] - arrivals[1], 250ms);
    EXPECT_GE(arrivals[3] - arrivals[2], 250ms);
}

TEST(HTTPMapsBackend, OnlyThePublicServicesAreSpacedSoAServiceThePersonRunsAnswersAtOnce) {
    using Clock = std::chrono::steady_clock;
    struct Request {
        std::string url;
        Clock::duration at;
        Clock::duration waitedFor;
    };
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) { return json("[]"); });
    const std::string local = endpoint.url("/route");
    const std::string geocoder = "https://nominatim.openstreetmap.org/search?q=Berlin";
    const std::string router = "https://router.project-osrm.org/route/v1/driving/13.4,52.5;13.5,52.6";
    const std::vector<Request> requests{
        {local, 0ms, 0ms},        {local, 10ms, 0ms},      {local, 20ms, 0ms},        {geocoder, 30ms, 0ms},
        {geocoder, 30ms, 1000ms}, {router, 40ms, 0ms},     {geocoder, 1500ms, 530ms}, {router, 1500ms, 0ms},
        {local, 1500ms, 0ms},     {geocoder, 3100ms, 0ms},
    };
    // The clock stands still while a request waits; each waits from the
    // time it is made.
    Clock::time_point now{};
    std::vector<Clock::time_point> sleptUntil;
    RequestSpacing spacing(
        HTTPMapsBackendSettings{}.requestSpacing, HTTPMapsBackendSettings{}.spacedOrigins,
        {.now = [&] { return now; }, .sleepUntil = [&](Clock::time_point turn) { sleptUntil.push_back(turn); }});
    for (const auto& request : requests) {
        SCOPED_TRACE(request.url);
        now = Clock::time_point{} + request.at;
        sleptUntil.clear();
        spacing.waitForTurn(urlOrigin(request.url));
        if (request.waitedFor == 0ms) {
            EXPECT_TRUE(sleptUntil.empty());
        } else {
            EXPECT_EQ(sleptUntil, std::vector<Clock::time_point>{now + request.waitedFor});
        }
    }

    // The backend itself, configured for a local router and geocoder, with
    // the default spacing: three requests and no wait.
    auto settings = settingsFor(endpoint);
    settings.requestSpacing = HTTPMapsBackendSettings{}.requestSpacing;
    settings.spacedOrigins = HTTPMapsBackendSettings{}.spacedOrigins;
    std::size_t waits = 0;
    HTTPMapsBackend backend(settings,
                            {.now = [] { return Clock::now(); }, .sleepUntil = [&](Clock::time_point) { ++waits; }});
    for (int index = 0; index < 3; ++index) {
        ASSERT_TRUE(backend.searchPlaces("Berlin", 1));
    }
    EXPECT_EQ(waits, 0U);
}

}  // namespace
}  // namespace lumenary::platform
