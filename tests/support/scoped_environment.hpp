#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumenary::testing {

// Environment variables set or removed for one test and put back as they
// were when the object goes. Not for tests that run threads reading the
// environment meanwhile.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    ~ScopedEnvironment() {
        for (auto saved = saved_.rbegin(); saved != saved_.rend(); ++saved) {
            if (saved->second) {
                ::setenv(saved->first.c_str(), saved->second->c_str(), 1);
            } else {
                ::unsetenv(saved->first.c_str());
            }
        }
    }

    // Absent `value` removes the variable.
    void set(const std::string& name, const std::optional<std::string>& value) {
        const char* previous = std::getenv(name.c_str());
        saved_.emplace_back(name, previous ? std::optional<std::string>(previous) : std::nullopt);
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace lumenary::testing
