#pragma once

#include <string>

#include "logging/log_level.hpp"
#include "mcp/core/coders.hpp"

namespace lumenary::mcp {

// A log level travels as its lower-case name ("debug", "warning", ...); any
// other text fails to read.
template <>
struct Coder<logging::LogLevel> {
    static Value encode(logging::LogLevel level) { return std::string(logging::toString(level)); }
    static logging::LogLevel decode(const Decoder& decoder) {
        const auto name = decoder.decode<std::string>();
        if (auto level = logging::logLevelFromRawValue(name)) {
            return *level;
        }
        decoder.failDataCorrupted("Cannot read a log level from \"" + name + "\"");
    }
};

}  // namespace lumenary::mcp
