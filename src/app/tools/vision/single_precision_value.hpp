#pragma once

#include "app/tools/plain_value.hpp"

namespace lumenary::app {

// A single-precision number (a confidence, a distance) as the plain value
// whose JSON text is the shortest that reads back as the same float: 0.9f
// writes as 0.9, not as the 0.8999999761581421 its widened double would.
// A non-finite number stays non-finite, so the JSON writer refuses it.
PlainValue singlePrecisionValue(float number);

}  // namespace lumenary::app
