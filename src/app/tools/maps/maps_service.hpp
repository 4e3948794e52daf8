#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <asio/awaitable.hpp>

#include "app/tools/tool_outcome.hpp"
#include "platform/applications/url_opener.hpp"
#include "platform/defaults/defaults_store.hpp"
#include "platform/maps/maps_backend.hpp"

namespace lumenary::app {

// The template of the link that shows a place: LUMENARY_MAPS_OPEN_URL, else
// the defaults key mapsOpenURL, else the OpenStreetMap website's search,
// with "{query}" standing for the percent-encoded query.
std::string configuredMapsOpenURL(const platform::DefaultsStore& defaults);

// The map operations behind the maps tools: place search, routes and
// showing a place. Backend and opener calls run on the worker pool; the
// backend's own errors are passed on as they come.
class MapsService {
public:
    // One search hit.
    struct MapLocation {
        // The place's name, else the search text.
        std::string name;
        // Street, locality, administrative area and postal code, those that
        // exist, joined by ", ".
        std::string address;
        double latitude = 0;
        double longitude = 0;
    };

    MapsService(std::shared_ptr<platform::MapsBackend> backend, std::shared_ptr<platform::UrlOpener> opener,
                std::string openURLTemplate);

    // The first `limit` hits; none for a limit of 0 or less.
    asio::awaitable<ToolOutcome<std::vector<MapLocation>>> searchLocations(std::string query, std::int64_t limit);

    // "Route found: <distance>, <time> via <transport>", or one of the
    // answers for a place or route that was not found.
    asio::awaitable<ToolOutcome<std::string>> getDirections(std::string from, std::string to, std::string transport);

    // "Opened Maps for: <query>" once the link is handed to the desktop.
    asio::awaitable<ToolOutcome<std::string>> openMap(std::string query);

private:
    asio::awaitable<ToolOutcome<std::optional<platform::MapPlace>>> resolveItem(std::string place);

    std::shared_ptr<platform::MapsBackend> backend_;
    std::shared_ptr<platform::UrlOpener> opener_;
    std::string openURLTemplate_;
};

}  // namespace lumenary::app
