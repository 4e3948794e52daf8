#pragma once

#include <string>

namespace lumenary::app {

enum class MeasurementSystem { metric, unitedStates };

// The units the user's locale measures in: United States units when the
// locale that decides LC_MEASUREMENT (LC_ALL, else LC_MEASUREMENT, else
// LANG) names the United States, metric otherwise.
MeasurementSystem measurementSystemFromEnvironment();

// A travel time in whole hours and minutes with the units written out:
// "1 hour, 5 minutes", "45 minutes", "2 hours", "0 minutes". Seconds left
// over are dropped. Takes a finite, non-negative duration.
std::string travelTimeText(double seconds);

// A distance as a person reads it: "850 m", "12.3 km", "140 km"; in United
// States units "500 ft", "7.6 mi", "120 mi".
std::string distanceText(double metres, MeasurementSystem system);

}  // namespace lumenary::app
