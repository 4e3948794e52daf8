#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace lumenary::eventsource {

// An event-stream line, or one event's data, passed the reader's bound.
class OversizedEventError : public std::runtime_error {
public:
    explicit OversizedEventError(std::size_t maximumBytes)
        : std::runtime_error("An event-stream line or event passed " + std::to_string(maximumBytes) + " bytes"),
          maximumBytes_(maximumBytes) {}

    std::size_t maximumBytes() const noexcept { return maximumBytes_; }

private:
    std::size_t maximumBytes_;
};

}  // namespace lumenary::eventsource
