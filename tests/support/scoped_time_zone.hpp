#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace lumenary::testing {

// TZ set for one test and put back, with the C library told both times
// (localtime_r reads TZ only when tzset asks it to).
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const std::string& zone) {
        if (const char* previous = std::getenv("TZ")) {
            previous_ = previous;
        }
        ::setenv("TZ", zone.c_str(), 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (previous_) {
            ::setenv("TZ", previous_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> previous_;
};

}  // namespace lumenary::testing
