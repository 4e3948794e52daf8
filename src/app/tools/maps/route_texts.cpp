#include "app/tools/maps/route_texts.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace lumenary::app {

namespace {

constexpr double metresPerMile = 1609.344;
constexpr double feetPerMetre = 3.28084;

std::string counted(std::int64_t count, const char* unit) {
    return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

// One decimal below 100, whole above; "5.0" is written "5".
std::string decimalText(double value) {
    char buffer[64];
    if (value >= 99.95) {
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
        return buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    std::string text = buffer;
    if (text.ends_with(".0")) {
        text.resize(text.size() - 2);
    }
    return text;
}

std::string wholeText(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
}

}  // namespace

MeasurementSystem measurementSystemFromEnvironment() {
    std::string_view locale;
    for (const auto* variable : {"LC_ALL", "LC_MEASUREMENT", "LANG"}) {
        if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    const auto underscore = locale.find('_');
    if (underscore == std::string_view::npos) {
        return MeasurementSystem::metric;
    }
    auto territory = locale.substr(underscore + 1);
    territory = territory.substr(0, territory.find_first_of(".@"));
    return territory == "US" ? MeasurementSystem::unitedStates : MeasurementSystem::metric;
}

std::string travelTimeText(double seconds) {
    const auto minutes = static_cast<std::int64_t>(seconds / 60);
    const auto hours = minutes / 60;
    const auto minutesLeft = minutes % 60;
    if (hours == 0) {
        return counted(minutesLeft, "minute");
    }
    if (minutesLeft == 0) {
        return counted(hours, "hour");
    }
    return counted(hours, "hour") + ", " + counted(minutesLeft, "minute");
}

std::string distanceText(double metres, MeasurementSystem system) {
    if (system == MeasurementSystem::unitedStates) {
        const double miles = metres / metresPerMile;
        if (miles < 0.1) {
            return wholeText(metres * feetPerMetre) + " ft";
        }
        return decimalText(miles) + " mi";
    }
    if (std::round(metres) < 1000) {
        return wholeText(metres) + " m";
    }
    return decimalText(metres / 1000) + " km";
}

}  // namespace lumenary::app
