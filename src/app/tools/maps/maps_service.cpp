#include "app/tools/maps/maps_service.hpp"

#include "app/tools/maps/route_texts.hpp"
#include "async/worker_pool.hpp"
#include "platform/defaults/configured_text.hpp"
#include "platform/text/percent_encoding.hpp"
#include "platform/text/plain_text.hpp"
#include "platform/text/unicode_text.hpp"

namespace lumenary::app {

namespace {

using platform::MapPlace;
using platform::RouteProfile;

ToolError passedOnMapsError(const platform::PlatformError& error) {
    return ToolError(error.domain, error.code, error.description);
}

std::string addressOf(const MapPlace& place) {
    std::string address;
    for (const auto* part : {&place.street, &place.locality, &place.administrativeArea, &place.postalCode}) {
        if (*part) {
            address += (address.empty() ? "" : ", ") + **part;
        }
    }
    return address;
}

}  // namespace

std::string configuredMapsOpenURL(const platform::DefaultsStore& defaults) {
    return platform::configuredText("LUMENARY_MAPS_OPEN_URL", "mapsOpenURL", defaults,
                                    "https://www.openstreetmap.org/search?query={query}");
}

MapsService::MapsService(std::shared_ptr<platform::MapsBackend> backend, std::shared_ptr<platform::UrlOpener> opener,
                         std::string openURLTemplate)
    : backend_(std::move(backend)), opener_(std::move(opener)), openURLTemplate_(std::move(openURLTemplate)) {}

asio::awaitable<ToolOutcome<std::vector<MapsService::MapLocation>>> MapsService::searchLocations(std::string query,
                                                                                                  std::int64_t limit) {
    if (limit <= 0) {
        co_return std::vector<MapLocation>{};
    }
    auto work = [backend = backend_, query, limit] {
        return backend->searchPlaces(query, static_cast<std::size_t>(limit));
    };
    auto places = co_await async::runBlocking(std::move(work));
    if (!places) {
        co_return passedOnMapsError(places.error());
    }
    std::vector<MapLocation> locations;
    for (const auto& place : places.value()) {
        locations.push_back({.name = place.name.value_or(query),
                             .address = addressOf(place),
                             .latitude = place.latitude,
                             .longitude = place.longitude});
    }
    co_return locations;
}

asio::awaitable<ToolOutcome<std::optional<MapPlace>>> MapsService::resolveItem(std::string place) {
    auto work = [backend = backend_, place] { return backend->searchPlaces(place, 1); };
    auto places = co_await async::runBlocking(std::move(work));
    if (!places) {
        co_return passedOnMapsError(places.error());
    }
    if (places.value().empty()) {
        co_return std::optional<MapPlace>();
    }
    co_return std::optional<MapPlace>(std::move(places.value().front()));
}

asio::awaitable<ToolOutcome<std::string>> MapsService::getDirections(std::string from, std::string to,
                                                                     std::string transport) {
    const auto mode = platform::lowercased(transport);
    // Known before any request: the routers spoken to here have no public
    // transport, and a car route under that name would mislead.
    if (mode == "transit") {
        co_return ToolError("MapsTool", 500,
                            "Transit routing is not available with the configured router: ask for automobile or "
                            "walking directions, or set LUMENARY_MAPS_ROUTER_URL or the defaults key mapsRouterURL "
                            "to a router that offers it.");
    }
    const auto profile = mode == "walking" ? RouteProfile::foot : RouteProfile::driving;

    auto start = co_await resolveItem(from);
    if (!start) {
        co_return start.error();
    }
    if (!start.value()) {
        co_return "Could not find start location: " + from;
    }
    auto destination = co_await resolveItem(to);
    if (!destination) {
        co_return destination.error();
    }
    if (!destination.value()) {
        co_return "Could not find destination: " + to;
    }

    auto work = [backend = backend_, start = *start.value(), destination = *destination.value(), profile] {
        return backend->route(start, destination, profile);
    };
    auto route = co_await async::runBlocking(std::move(work));
    if (!route) {
        co_return passedOnMapsError(route.error());
    }
    if (!route.value()) {
        co_return std::string("No route found.");
    }
    co_return "Route found: " + distanceText(route.value()->distanceMetres, measurementSystemFromEnvironment()) +
        ", " + travelTimeText(route.value()->durationSeconds) + " via " + transport;
}

asio::awaitable<ToolOutcome<std::string>> MapsService::openMap(std::string query) {
    // The query goes inside the link's own query, so "&", "=", "#" and "+"
    // are encoded too: bare, they would cut it short or change it.
    auto work = [opener = opener_, link = platform::replacingAll(openURLTemplate_, "{query}", platform::percentEncoded(query))] {
        return opener->open(link);
    };
    const auto failure = co_await async::runBlocking(std::move(work));
    if (failure) {
        co_return ToolError("MapsTool", 500, "Failed to open Maps: " + failure->description);
    }
    co_return "Opened Maps for: " + query;
}

}  // namespace lumenary::app
