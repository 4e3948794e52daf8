#pragma once

#include <string>
#include <unordered_set>

namespace lumenary::mcp {

// The protocol revisions this implementation speaks. Revisions are dates in
// the form YYYY-MM-DD, so the text order is the age order.
struct Version {
    Version() = delete;

    // Membership is exact text equality: "2024-11-5" is not "2024-11-05".
    static const std::unordered_set<std::string>& supported();
    // The newest member of `supported`.
    static const std::string& latest();
};

}  // namespace lumenary::mcp
