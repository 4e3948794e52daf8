#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// One place a search found, with the parts of its address it has.
struct MapPlace {
    std::optional<std::string> name{};
    // The street with its house number, as a letter would carry it.
    std::optional<std::string> street{};
    // City, town or village.
    std::optional<std::string> locality{};
    // State, province or region.
    std::optional<std::string> administrativeArea{};
    std::optional<std::string> postalCode{};
    double latitude = 0;
    double longitude = 0;
};

enum class RouteProfile { driving, foot };

// The first route between two places.
struct MapRoute {
    double distanceMetres = 0;
    double durationSeconds = 0;
};

// Place search and routing. Blocking: callers run it on the worker pool.
// A failure of the service (no connection, a time-out, an answer of the
// wrong form) is an error that says what failed (domain "MapsBackend").
class MapsBackend {
public:
    virtual ~MapsBackend() = default;

    // At most `limit` places in the service's order; none when `limit` is 0.
    virtual PlatformOutcome<std::vector<MapPlace>> searchPlaces(const std::string& query, std::size_t limit) = 0;

    // Nothing when the service knows no route between the two.
    virtual PlatformOutcome<std::optional<MapRoute>> route(const MapPlace& from, const MapPlace& to,
                                                           RouteProfile profile) = 0;
};

}  // namespace lumenary::platform
