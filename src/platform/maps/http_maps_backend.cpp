#include "platform/maps/http_maps_backend.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>

#include "http_client/http_client.hpp"
#include "mcp/core/json.hpp"
#include "platform/defaults/configured_text.hpp"
#include "platform/program/program_version.hpp"
#include "platform/text/percent_encoding.hpp"
#include "platform/text/plain_text.hpp"

namespace lumenary::platform {

namespace {

// OpenStreetMap's own geocoder and the routing engine's demo server: both
// allow occasional requests from an application that names itself in its
// User-Agent and sends at most one request a second, which is what a
// person's tool calls come to.
constexpr const char* publicGeocoderURL = "https://nominatim.openstreetmap.org";
constexpr const char* publicRouterURL = "https://router.project-osrm.org/route/v1/{profile}";

// The geocoder sends no more than this many places, whatever is asked.
constexpr std::size_t geocoderLimit = 40;

PlatformError mapsFailure(std::int64_t code, std::string description) {
    return PlatformError{.domain = "MapsBackend", .code = code, .description = std::move(description)};
}

std::string withoutTrailingSlash(std::string url) {
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    return url;
}

// Coordinates as the route API reads them: plain decimals, never with an
// exponent or a locale's comma.
std::string coordinateText(double degrees) {
    char buffer[64];
    const auto written = std::snprintf(buffer, sizeof buffer, "%.7f", degrees);
    return std::string(buffer, static_cast<std::size_t>(std::max(written, 0)));
}

// A member given as text, or as a number written out.
std::optional<std::string> textMember(const mcp::Value& object, std::string_view key) {
    const auto* member = object.find(key);
    if (member == nullptr) {
        return std::nullopt;
    }
    if (const auto* text = member->stringValue(); text != nullptr && !text->empty()) {
        return *text;
    }
    if (const auto integer = member->intValue()) {
        return std::to_string(*integer);
    }
    return std::nullopt;
}

// Degrees given as a number or, as the geocoder sends them, as text.
std::optional<double> degreesMember(const mcp::Value& object, std::string_view key, double bound) {
    const auto* member = object.find(key);
    if (member == nullptr) {
        return std::nullopt;
    }
    std::optional<double> degrees;
    if (const auto integer = member->intValue()) {
        degrees = static_cast<double>(*integer);
    } else if (const auto number = member->doubleValue()) {
        degrees = *number;
    } else if (const auto* text = member->stringValue()) {
        double parsed = 0;
        const auto* end = text->data() + text->size();
        const auto [stop, error] = std::from_chars(text->data(), end, parsed);
        if (error == std::errc() && stop == end) {
            degrees = parsed;
        }
    }
    if (!degrees || !std::isfinite(*degrees) || std::fabs(*degrees) > bound) {
        return std::nullopt;
    }
    return degrees;
}

std::optional<double> quantityMember(const mcp::Value& object, std::string_view key) {
    const auto* member = object.find(key);
    if (member == nullptr) {
        return std::nullopt;
    }
    if (const auto integer = member->intValue()) {
        return static_cast<double>(*integer);
    }
    if (const auto number = member->doubleValue(); number && std::isfinite(*number) && *number >= 0) {
        return number;
    }
    return std::nullopt;
}

std::optional<std::string> streetOf(const mcp::Value& address) {
    auto road = textMember(address, "road");
    if (!road) {
        return std::nullopt;
    }
    if (const auto number = textMember(address, "house_number")) {
        return *number + " " + *road;
    }
    return road;
}

std::optional<std::string> localityOf(const mcp::Value& address) {
    for (const auto* key : {"city", "town", "village"}) {
        if (auto locality = textMember(address, key)) {
            return locality;
        }
    }
    return std::nullopt;
}

// A hit without usable coordinates is no place one can show or route to,
// so it is left out.
std::optional<MapPlace> placeFrom(const mcp::Value& hit) {
    if (hit.objectValue() == nullptr) {
        return std::nullopt;
    }
    const auto latitude = degreesMember(hit, "lat", 90);
    const auto longitude = degreesMember(hit, "lon", 180);
    if (!latitude || !longitude) {
        return std::nullopt;
    }
    MapPlace place{.name = textMember(hit, "name"), .latitude = *latitude, .longitude = *longitude};
    if (const auto* address = hit.find("address"); address != nullptr && address->objectValue() != nullptr) {
        place.street = streetOf(*address);
        place.locality = localityOf(*address);
        place.administrativeArea = textMember(*address, "state");
        place.postalCode = textMember(*address, "postcode");
    }
    return place;
}

std::string megabytes(std::size_t bytes) {
    return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

}  // namespace

HTTPMapsBackendSettings HTTPMapsBackendSettings::configured(const DefaultsStore& defaults) {
    return {.geocoderURL = configuredText("LUMENARY_MAPS_GEOCODER_URL", "mapsGeocoderURL", defaults, publicGeocoderURL),
            .routerURL = configuredText("LUMENARY_MAPS_ROUTER_URL", "mapsRouterURL", defaults, publicRouterURL),
            .userAgent = programUserAgent()};
}

struct HTTPMapsBackend::Answer {
    int status = 0;
    mcp::Value json;
};

std::set<std::string> HTTPMapsBackendSettings::publicServiceOrigins() {
    return {urlOrigin(publicGeocoderURL), urlOrigin(publicRouterURL)};
}

HTTPMapsBackend::HTTPMapsBackend(HTTPMapsBackendSettings settings, RequestSpacing::Clock spacingClock)
    : settings_(std::move(settings)),
      spacing_(settings_.requestSpacing, settings_.spacedOrigins, std::move(spacingClock)) {}

PlatformOutcome<HTTPMapsBackend::Answer> HTTPMapsBackend::fetch(const std::string& what, const std::string& url) {
    spacing_.waitForTurn(urlOrigin(url));
    // A client per request: several calls may run at once on the pool, and
    // a client serves one exchange at a time.
    http_client::HTTPClient client(settings_.maximumAnswerBytes);
    const auto result = client.send(http_client::HTTPClientRequest{
        .url = url,
        .headers = {{"User-Agent", settings_.userAgent}, {"Accept", "application/json"}},
        .timeouts = {.idle = settings_.requestTimeout, .total = settings_.requestTimeout}});
    if (const auto* error = std::get_if<http_client::HTTPClientError>(&result)) {
        switch (error->kind) {
            case http_client::HTTPClientError::Kind::couldNotConnect:
                return mapsFailure(503, what + " failed: " + error->description);
            case http_client::HTTPClientError::Kind::timedOut:
                return mapsFailure(504, what + " failed: no answer from " + urlOrigin(url) + " within " +
                                        secondsText(settings_.requestTimeout) + " s");
            case http_client::HTTPClientError::Kind::responseTooLarge:
                return mapsFailure(502, what + " failed: the answer from " + urlOrigin(url) + " is larger than " +
                                        megabytes(settings_.maximumAnswerBytes));
            case http_client::HTTPClientError::Kind::failed: return mapsFailure(502, what + " failed: " + error->description);
            // Nothing cancels a blocking exchange; answered like any other failure.
            case http_client::HTTPClientError::Kind::cancelled: return mapsFailure(502, what + " failed: " + error->description);
        }
    }
    const auto& response = std::get<http_client::HTTPClientResponse>(result);
    try {
        return Answer{.status = response.status, .json = mcp::parseJSON(response.body)};
    } catch (const std::exception&) {
        if (response.status < 200 || response.status > 299) {
            return mapsFailure(502, what + " failed: " + urlOrigin(url) + " answered status " +
                                    std::to_string(response.status));
        }
        return mapsFailure(502, what + " failed: the answer from " + urlOrigin(url) + " is not JSON");
    }
}

PlatformOutcome<std::vector<MapPlace>> HTTPMapsBackend::searchPlaces(const std::string& query, std::size_t limit) {
    if (limit == 0) {
        return std::vector<MapPlace>{};
    }
    const auto url = withoutTrailingSlash(settings_.geocoderURL) + "/search?q=" + percentEncoded(query) +
                     "&format=jsonv2&addressdetails=1&limit=" + std::to_string(std::min(limit, geocoderLimit));
    auto answer = fetch("Place search", url);
    if (!answer) {
        return answer.error();
    }
    const auto& [status, json] = answer.value();
    if (status < 200 || status > 299) {
        return mapsFailure(502,
                           "Place search failed: " + urlOrigin(url) + " answered status " + std::to_string(status));
    }
    const auto* hits = json.arrayValue();
    if (hits == nullptr) {
        return mapsFailure(502, "Place search failed: the answer from " + urlOrigin(url) + " is not a list of places");
    }
    std::vector<MapPlace> places;
    for (const auto& hit : *hits) {
        if (places.size() == limit) {
            break;
        }
        if (auto place = placeFrom(hit)) {
            places.push_back(std::move(*place));
        }
    }
    return places;
}

PlatformOutcome<std::optional<MapRoute>> HTTPMapsBackend::route(const MapPlace& from, const MapPlace& to,
                                                                RouteProfile profile) {
    const std::string profileName = profile == RouteProfile::foot ? "foot" : "driving";
    const auto url = withoutTrailingSlash(replacingAll(settings_.routerURL, "{profile}", profileName)) + "/" +
                     coordinateText(from.longitude) + "," + coordinateText(from.latitude) + ";" +
                     coordinateText(to.longitude) + "," + coordinateText(to.latitude) +
                     "?overview=false&alternatives=false";
    auto answer = fetch("Route search", url);
    if (!answer) {
        return answer.error();
    }
    const auto& [status, json] = answer.value();
    const auto code = textMember(json, "code");
    // No road joins the two, or one of them lies too far from any road.
    if (code == "NoRoute" || code == "NoSegment") {
        return std::optional<MapRoute>();
    }
    if (status < 200 || status > 299 || code != "Ok") {
        std::string said = urlOrigin(url) + " answered status " + std::to_string(status);
        if (code) {
            said += ", " + *code;
        }
        if (const auto message = textMember(json, "message")) {
            said += ": " + *message;
        }
        return mapsFailure(502, "Route search failed: " + said);
    }
    const auto* routes = json.find("routes");
    if (routes == nullptr || routes->arrayValue() == nullptr) {
        return mapsFailure(502, "Route search failed: the answer from " + urlOrigin(url) + " has no list of routes");
    }
    if (routes->arrayValue()->empty()) {
        return std::optional<MapRoute>();
    }
    const auto& first = routes->arrayValue()->front();
    const auto distance = quantityMember(first, "distance");
    const auto duration = quantityMember(first, "duration");
    if (!distance || !duration) {
        return mapsFailure(502, "Route search failed: the route from " + urlOrigin(url) +
                                " lacks its distance or duration");
    }
    return std::optional<MapRoute>(MapRoute{.distanceMetres = *distance, .durationSeconds = *duration});
}

}  // namespace lumenary::platform
