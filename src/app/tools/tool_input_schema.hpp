#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "app/tools/plain_value.hpp"

namespace lumenary::app {

// One property of a tool's input schema: {"type": ..., "description": ...}.
inline PlainValue schemaProperty(std::string type, std::string description) {
    return PlainDictionary{{"type", std::move(type)}, {"description", std::move(description)}};
}

// {"type": "object", "properties": {...}, "required": [...]}; both members
// are present even when empty.
inline PlainDictionary objectSchema(std::initializer_list<std::pair<const std::string, PlainValue>> properties,
                                    std::initializer_list<std::string> required) {
    PlainList requiredNames;
    for (const auto& name : required) {
        requiredNames.emplace_back(name);
    }
    return PlainDictionary{
        {"type", "object"}, {"properties", PlainDictionary(properties)}, {"required", std::move(requiredNames)}};
}

}  // namespace lumenary::app
