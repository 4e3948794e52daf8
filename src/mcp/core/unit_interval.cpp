#include "mcp/core/unit_interval.hpp"

#include "mcp/core/coders.hpp"

namespace lumenary::mcp {

UnitInterval Coder<UnitInterval>::decode(const Decoder& decoder) {
    double number = decoder.decode<double>();
    if (auto interval = UnitInterval::make(number)) {
        return *interval;
    }
    decoder.failDataCorrupted("Value " + doubleText(number) + " is not in range 0...1");
}

}  // namespace lumenary::mcp
