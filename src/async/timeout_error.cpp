#include "async/timeout_error.hpp"

namespace lumenary::async {

namespace {

std::string describe(std::chrono::steady_clock::duration limit) {
    using namespace std::chrono;
    const auto millis = duration_cast<milliseconds>(limit);
    if (millis.count() == 0 && limit.count() > 0) {
        return std::to_string(duration_cast<microseconds>(limit).count()) + " us";
    }
    return std::to_string(millis.count()) + " ms";
}

std::string message(std::chrono::steady_clock::duration limit, const std::string& operation) {
    if (operation.empty()) {
        return "Timed out after " + describe(limit);
    }
    return operation + " timed out after " + describe(limit);
}

}  // namespace

TimeoutError::TimeoutError(std::chrono::steady_clock::duration limit, const std::string& operation)
    : std::runtime_error(message(limit, operation)), limit_(limit) {}

}  // namespace lumenary::async
