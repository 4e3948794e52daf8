#include "app/tools/vision/single_precision_value.hpp"

#include <charconv>
#include <cmath>

namespace lumenary::app {

PlainValue singlePrecisionValue(float number) {
    if (!std::isfinite(number)) {
        return static_cast<double>(number);
    }
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, number);
    double widened = 0;
    std::from_chars(buffer, written.ptr, widened);
    return widened;
}

}  // namespace lumenary::app
