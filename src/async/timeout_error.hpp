#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

namespace lumenary::async {

// An operation did not finish within its time limit. The message names the
// operation when one was given: "initialize request timed out after 500 ms",
// otherwise "Timed out after 500 ms".
class TimeoutError : public std::runtime_error {
public:
    explicit TimeoutError(std::chrono::steady_clock::duration limit, const std::string& operation = {});

    std::chrono::steady_clock::duration limit() const noexcept { return limit_; }

private:
    std::chrono::steady_clock::duration limit_;
};

}  // namespace lumenary::async
