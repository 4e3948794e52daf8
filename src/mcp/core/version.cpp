#include "mcp/core/version.hpp"

namespace lumenary::mcp {

const std::unordered_set<std::string>& Version::supported() {
    static const std::unordered_set<std::string> versions{"2025-03-26", "2024-11-05"};
    return versions;
}

const std::string& Version::latest() {
    static const std::string newest = [] {
        const auto& versions = supported();
        auto best = versions.begin();
        for (auto it = versions.begin(); it != versions.end(); ++it) {
            if (*best < *it) {
                best = it;
            }
        }
        return *best;
    }();
    return newest;
}

}  // namespace lumenary::mcp
