#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/maps/maps_backend.hpp"

namespace lumenary::testing {

// A MapsBackend that answers searches from a table of places by query
// (nothing for a query not in it) and every route with the one the test
// set, and keeps what it was asked.
class FakeMapsBackend final : public platform::MapsBackend {
public:
    struct RouteRequest {
        std::string from;
        std::string to;
        platform::RouteProfile profile;
    };

    void addPlaces(const std::string& query, std::vector<platform::MapPlace> places) {
        std::lock_guard lock(mutex_);
        places_[query] = std::move(places);
    }
    void failSearchesWith(platform::PlatformError error) {
        std::lock_guard lock(mutex_);
        searchFailure_ = std::move(error);
    }
    void answerRoutesWith(platform::PlatformOutcome<std::optional<platform::MapRoute>> answer) {
        std::lock_guard lock(mutex_);
        routeAnswer_ = std::move(answer);
    }

    // Each search as "<query>/<limit>".
    std::vector<std::string> searches() const {
        std::lock_guard lock(mutex_);
        return searches_;
    }
    std::vector<RouteRequest> routeRequests() const {
        std::lock_guard lock(mutex_);
        return routeRequests_;
    }

    platform::PlatformOutcome<std::vector<platform::MapPlace>> searchPlaces(const std::string& query,
                                                                            std::size_t limit) override {
        std::lock_guard lock(mutex_);
        searches_.push_back(query + "/" + std::to_string(limit));
        if (searchFailure_) {
            return *searchFailure_;
        }
        auto found = places_[query];
        if (found.size() > limit) {
            found.resize(limit);
        }
        return found;
    }

    platform::PlatformOutcome<std::optional<platform::MapRoute>> route(const platform::MapPlace& from,
                                                                       const platform::MapPlace& to,
                                                                       platform::RouteProfile profile) override {
        std::lock_guard lock(mutex_);
        routeRequests_.push_back({from.name.value_or(""), to.name.value_or(""), profile});
        return routeAnswer_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::vector<platform::MapPlace>> places_;
    std::optional<platform::PlatformError> searchFailure_;
    platform::PlatformOutcome<std::optional<platform::MapRoute>> routeAnswer_ = std::optional<platform::MapRoute>();
    std::vector<std::string> searches_;
    std::vector<RouteRequest> routeRequests_;
};

}  // namespace lumenary::testing
