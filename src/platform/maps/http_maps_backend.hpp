#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <set>
#include <string>

#include "platform/defaults/defaults_store.hpp"
#include "platform/maps/maps_backend.hpp"
#include "platform/maps/request_spacing.hpp"

namespace lumenary::platform {

struct HTTPMapsBackendSettings {
    // Where "/search?q=..." of the geocoder's search API is appended.
    std::string geocoderURL;
    // The route API up to the profile, with "{profile}" standing for
    // "driving" or "foot"; "/<lon>,<lat>;<lon>,<lat>?..." is appended.
    std::string routerURL;
    std::string userAgent;
    // Each request, from connecting to the last byte.
    std::chrono::milliseconds requestTimeout{15'000};
    // Between two requests to one of the spaced origins, as the public
    // services ask; by default their own two. A service the person runs
    // has no such rule, so it is never spaced.
    std::chrono::milliseconds requestSpacing{1'000};
    std::set<std::string> spacedOrigins = publicServiceOrigins();
    std::size_t maximumAnswerBytes = 8 * 1024 * 1024;

    // LUMENARY_MAPS_GEOCODER_URL, else the defaults key mapsGeocoderURL,
    // else the public instance; the same for the router with
    // LUMENARY_MAPS_ROUTER_URL and mapsRouterURL.
    static HTTPMapsBackendSettings configured(const DefaultsStore& defaults);
    // The origins of the public geocoder and router.
    static std::set<std::string> publicServiceOrigins();
};

// The maps backend over HTTP: places from a geocoder that speaks the
// Nominatim search API (format jsonv2), routes from a router that speaks
// the OSRM route API.
class HTTPMapsBackend final : public MapsBackend {
public:
    explicit HTTPMapsBackend(HTTPMapsBackendSettings settings,
                             RequestSpacing::Clock spacingClock = RequestSpacing::steadyClock());

    PlatformOutcome<std::vector<MapPlace>> searchPlaces(const std::string& query, std::size_t limit) override;
    PlatformOutcome<std::optional<MapRoute>> route(const MapPlace& from, const MapPlace& to,
                                                   RouteProfile profile) override;

private:
    struct Answer;
    PlatformOutcome<Answer> fetch(const std::string& what, const std::string& url);

    HTTPMapsBackendSettings settings_;
    RequestSpacing spacing_;
};

}  // namespace lumenary::platform
