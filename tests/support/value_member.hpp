#pragma once

#include <string>

#include "mcp/core/value.hpp"

namespace lumenary::testing {

// The member `key` of a JSON object, or null when `object` is not an object
// or has no such member, so that a test can read a nested answer in one
// expression and fail on the value rather than crash on the path.
inline const mcp::Value& member(const mcp::Value& object, const std::string& key) {
    static const mcp::Value missing;
    const auto* members = object.objectValue();
    if (members == nullptr) {
        return missing;
    }
    const auto found = members->find(key);
    return found == members->end() ? missing : found->second;
}

}  // namespace lumenary::testing
