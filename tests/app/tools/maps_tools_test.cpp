#include <gtest/gtest.h>

#include <memory>

#include "app/tools/category_call.hpp"
#include "app/tools/maps/maps_tool_handler.hpp"
#include "app/tools/maps/route_texts.hpp"
#include "support/fake_maps_backend.hpp"
#include "support/recording_url_opener.hpp"
#include "support/scoped_environment.hpp"
#include "support/scratch_desktop.hpp"

namespace lumenary::app {
namespace {

using platform::MapPlace;
using platform::MapRoute;
using platform::PlatformError;
using platform::RouteProfile;
using testing::categoryCallText;

MapPlace named(std::string name) {
    return {.name = std::move(name), .latitude = 52.5, .longitude = 13.4};
}

class MapsToolsTest : public ::testing::Test {
protected:
    MapsToolsTest() {
        // Metric texts unless a test asks for another locale.
        environment.set("LC_ALL", std::nullopt);
        environment.set("LC_MEASUREMENT", "de_DE.UTF-8");
    }

    std::string call(std::string name, PlainDictionary arguments = {}) {
        return categoryCallText(maps, std::move(name), std::move(arguments));
    }

    lumenary::testing::ScopedEnvironment environment;
    std::shared_ptr<lumenary::testing::FakeMapsBackend> backend =
        std::make_shared<lumenary::testing::FakeMapsBackend>();
    std::shared_ptr<lumenary::testing::RecordingUrlOpener> opener =
        std::make_shared<lumenary::testing::RecordingUrlOpener>();
    MapsToolHandler maps{
        std::make_shared<MapsService>(backend, opener, "https://maps.example/search?query={query}&zoom=12")};
};

TEST_F(MapsToolsTest, SearchLocationsAnswersNameAndAddressOfTheFirstHitsAsPrettyJSON) {
    backend->addPlaces("Pariser Platz", {
                                            {.name = "Brandenburger Tor",
                                             .street = "1 Pariser Platz",
                                             .locality = "Berlin",
                                             .administrativeArea = "Berlin",
                                             .postalCode = "10117"},
                                            {.locality = "Berlin", .postalCode = "10117"},
                                            {.name = "Nowhere/Anywhere"},
                                            named("fourth"),
                                            named("fifth"),
                                        });

    EXPECT_EQ(call("search_locations", {{"query", "Pariser Platz"}, {"limit", 3}}),
              "[\n"
              "  {\n"
              "    \"address\": \"1 Pariser Platz, Berlin, Berlin, 10117\",\n"
              "    \"name\": \"Brandenburger Tor\"\n"
              "  },\n"
              "  {\n"
              "    \"address\": \"Berlin, 10117\",\n"
              "    \"name\": \"Pariser Platz\"\n"
              "  },\n"
              "  {\n"
              "    \"address\": \"\",\n"
              "    \"name\": \"Nowhere\\/Anywhere\"\n"
              "  }\n"
              "]");
    EXPECT_EQ(backend->searches(), (std::vector<std::string>{"Pariser Platz/3"}));
}

TEST_F(MapsToolsTest, SearchLocationsLimitIsTenUnlessGivenAsAnIntegerAndNothingBelowOne) {
    struct Case {
        PlainValue limit;
        std::string search;
    };
    const std::vector<Case> cases = {
        {PlainValue(), "Berlin/10"}, {PlainValue("3"), "Berlin/10"}, {PlainValue(2.5), "Berlin/10"},
        {PlainValue(25), "Berlin/25"},
    };
    for (const auto& [limit, search] : cases) {
        EXPECT_EQ(call("search_locations", {{"query", "Berlin"}, {"limit", limit}}), "[]");
        EXPECT_EQ(backend->searches().back(), search);
    }
    const auto searches = backend->searches().size();
    for (const std::int64_t limit : {std::int64_t{0}, std::int64_t{-1}, INT64_MIN}) {
        EXPECT_EQ(call("search_locations", {{"query", "Berlin"}, {"limit", limit}}), "[]") << limit;
    }
    EXPECT_EQ(backend->searches().size(), searches) << "nothing to ask the service for";
}

TEST_F(MapsToolsTest, ArgumentsThatAreMissingOrOfAnotherKindAreRefusedBeforeAnyRequest) {
    struct Case {
        std::string tool;
        PlainDictionary arguments;
        std::string refusal;
    };
    const std::vector<Case> cases = {
        {"search_locations", {}, "MapsTool 400 Missing query"},
        {"search_locations", {{"query", 5}}, "MapsTool 400 Missing query"},
        {"open_map", {{"query", PlainList{}}}, "MapsTool 400 Missing query"},
        {"get_directions", {{"from", "Berlin"}}, "MapsTool 400 Missing from/to"},
        {"get_directions", {{"from", "Berlin"}, {"to", 12}}, "MapsTool 400 Missing from/to"},
        {"get_directions", {{"to", "Berlin"}}, "MapsTool 400 Missing from/to"},
        {"maps_route", {{"query", "Berlin"}}, "MapsTool 404 Unknown maps tool: maps_route"},
    };
    for (const auto& [tool, arguments, refusal] : cases) {
        EXPECT_EQ(call(tool, arguments), refusal);
    }
    EXPECT_TRUE(backend->searches().empty());
    EXPECT_TRUE(opener->links().empty());
}

TEST_F(MapsToolsTest, GetDirectionsRoutesBetweenTheFirstHitsAndNamesTheTransportAsSent) {
    backend->addPlaces("Berlin", {named("Berlin"), named("Berlin, Wisconsin")});
    backend->addPlaces("Potsdam", {named("Potsdam")});
    backend->answerRoutesWith(std::optional<MapRoute>(MapRoute{.distanceMetres = 12'345, .durationSeconds = 3'930}));
    struct Case {
        std::optional<PlainValue> transport;
        RouteProfile profile;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {std::nullopt, RouteProfile::driving, "Route found: 12.3 km, 1 hour, 5 minutes via automobile"},
        {PlainValue("Walking"), RouteProfile::foot, "Route found: 12.3 km, 1 hour, 5 minutes via Walking"},
        {PlainValue("bicycle"), RouteProfile::driving, "Route found: 12.3 km, 1 hour, 5 minutes via bicycle"},
        {PlainValue(3), RouteProfile::driving, "Route found: 12.3 km, 1 hour, 5 minutes via automobile"},
    };
    for (const auto& [transport, profile, answer] : cases) {
        PlainDictionary arguments{{"from", "Berlin"}, {"to", "Potsdam"}};
        if (transport) arguments["transport"] = *transport;
        EXPECT_EQ(call("get_directions", arguments), answer);
        const auto request = backend->routeRequests().back();
        EXPECT_EQ(request.from, "Berlin");
        EXPECT_EQ(request.to, "Potsdam");
        EXPECT_EQ(request.profile, profile) << answer;
    }
    EXPECT_EQ(backend->searches().front(), "Berlin/1");
    EXPECT_EQ(backend->searches().at(1), "Potsdam/1");
}

TEST_F(MapsToolsTest, FailuresOfTheServiceArePassedOnAsTheyCome) {
    backend->addPlaces("Berlin", {named("Berlin")});
    backend->answerRoutesWith(PlatformError{"MapsBackend", 502, "Route search failed: answered status 500"});
    EXPECT_EQ(call("get_directions", {{"from", "Berlin"}, {"to", "Berlin"}}),
              "MapsBackend 502 Route search failed: answered status 500");

    backend->failSearchesWith(PlatformError{"MapsBackend", 504, "Place search failed: no answer within 15 s"});
    for (const auto& [tool, arguments] : std::vector<std::pair<std::string, PlainDictionary>>{
             {"search_locations", {{"query", "Berlin"}}}, {"get_directions", {{"from", "Berlin"}, {"to", "Rome"}}}}) {
        EXPECT_EQ(call(tool, arguments), "MapsBackend 504 Place search failed: no answer within 15 s") << tool;
    }
}

TEST_F(MapsToolsTest, OpenMapOpensTheTemplateWithTheQueryEncodedAndAnswersWithTheQueryAsSent) {
    struct Case {
        std::string query;
        std::string link;
    };
    const std::vector<Case> cases = {
        {"Brandenburger Tor", "https://maps.example/search?query=Brandenburger%20Tor&zoom=12"},
        {"Q&A \"Bar\" #1\n=+", "https://maps.example/search?query=Q%26A%20%22Bar%22%20%231%0A%3D%2B&zoom=12"},
        {"Café/Straße", "https://maps.example/search?query=Caf%C3%A9%2FStra%C3%9Fe&zoom=12"},
        {std::string(10'000, 'a'), "https://maps.example/search?query=" + std::string(10'000, 'a') + "&zoom=12"},
    };
    for (const auto& [query, link] : cases) {
        EXPECT_EQ(call("open_map", {{"query", query}}), "Opened Maps for: " + query);
        EXPECT_EQ(opener->links().back(), link);
    }

    opener->failWith(PlatformError{"UrlOpener", 500, "xdg-open: no method available for opening 'x'"});
    EXPECT_EQ(call("open_map", {{"query", "Berlin"}}),
              "MapsTool 500 Failed to open Maps: xdg-open: no method available for opening 'x'");
}

TEST(MapsOpenWithXdgOpen, TheDesktopsHandlerReceivesTheMapLink) {
    if (!lumenary::testing::ScratchDesktop::hasXdgOpen()) GTEST_SKIP() << "xdg-utils is not installed";
    lumenary::testing::ScratchDesktop desktop;
    desktop.installHandler();
    MapsToolHandler maps(std::make_shared<MapsService>(std::make_shared<lumenary::testing::FakeMapsBackend>(),
                                                       std::make_shared<platform::XdgUrlOpener>(),
                                                       "https://www.openstreetmap.org/search?query={query}"));

    EXPECT_EQ(categoryCallText(maps, "open_map", {{"query", "Café & Bar"}}), "Opened Maps for: Café & Bar");
    EXPECT_EQ(desktop.receivedArgument(), "https://www.openstreetmap.org/search?query=Caf%C3%A9%20%26%20Bar");
}

TEST(RouteTexts, TravelTimeIsWholeHoursAndMinutesWrittenOut) {
    const std::vector<std::pair<double, std::string>> cases = {
        {0, "0 minutes"},         {59.9, "0 minutes"},         {60, "1 minute"},
        {2'700, "45 minutes"},    {3'600, "1 hour"},           {3'660, "1 hour, 1 minute"},
        {3'900, "1 hour, 5 minutes"}, {7'260, "2 hours, 1 minute"}, {90'000, "25 hours"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(travelTimeText(seconds), text) << seconds;
    }
}

TEST(RouteTexts, DistanceIsMetricOrInUnitedStatesUnits) {
    struct Case {
        double metres;
        MeasurementSystem system;
        std::string text;
    };
    const std::vector<Case> cases = {
        {0, MeasurementSystem::metric, "0 m"},
        {849.6, MeasurementSystem::metric, "850 m"},
        {999.4, MeasurementSystem::metric, "999 m"},
        {999.6, MeasurementSystem::metric, "1 km"},
        {12'345, MeasurementSystem::metric, "12.3 km"},
        {99'960, MeasurementSystem::metric, "100 km"},
        {140'400, MeasurementSystem::metric, "140 km"},
        {100, MeasurementSystem::unitedStates, "328 ft"},
        {12'345, MeasurementSystem::unitedStates, "7.7 mi"},
        {193'121, MeasurementSystem::unitedStates, "120 mi"},
    };
    for (const auto& [metres, system, text] : cases) {
        EXPECT_EQ(distanceText(metres, system), text) << metres;
    }
}

TEST(RouteTexts, TheLocaleThatDecidesMeasurementChoosesTheUnits) {
    struct Case {
        std::optional<std::string> all;
        std::optional<std::string> measurement;
        std::optional<std::string> language;
        MeasurementSystem system;
    };
    const std::vector<Case> cases = {
        {std::nullopt, "en_US.UTF-8", "de_DE.UTF-8", MeasurementSystem::unitedStates},
        {std::nullopt, "en_GB.UTF-8", "en_US.UTF-8", MeasurementSystem::metric},
        {std::nullopt, std::nullopt, "en_US", MeasurementSystem::unitedStates},
        {std::nullopt, "", "es_US.UTF-8@euro", MeasurementSystem::unitedStates},
        {"C.UTF-8", "en_US.UTF-8", std::nullopt, MeasurementSystem::metric},
        {std::nullopt, std::nullopt, std::nullopt, MeasurementSystem::metric},
        {std::nullopt, "POSIX", std::nullopt, MeasurementSystem::metric},
    };
    for (const auto& [all, measurement, language, system] : cases) {
        lumenary::testing::ScopedEnvironment environment;
        environment.set("LC_ALL", all);
        environment.set("LC_MEASUREMENT", measurement);
        environment.set("LANG", language);
        EXPECT_EQ(measurementSystemFromEnvironment(), system)
            << all.value_or("-") << " " << measurement.value_or("-") << " " << language.value_or("-");
    }
}

TEST_F(MapsToolsTest, RouteDistancesFollowTheUsersMeasurementLocale) {
    backend->addPlaces("Berlin", {named("Berlin")});
    backend->answerRoutesWith(std::optional<MapRoute>(MapRoute{.distanceMetres = 12'345, .durationSeconds = 2'700}));
    environment.set("LC_MEASUREMENT", "en_US.UTF-8");
    EXPECT_EQ(call("get_directions", {{"from", "Berlin"}, {"to", "Berlin"}}),
              "Route found: 7.7 mi, 45 minutes via automobile");
}

}  // namespace
}  // namespace lumenary::app
