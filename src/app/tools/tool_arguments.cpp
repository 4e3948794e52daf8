#include "app/tools/tool_arguments.hpp"

#include "mcp/core/coders.hpp"

namespace lumenary::app {

namespace {

const PlainValue* argument(const PlainDictionary& arguments, std::string_view key) {
    const auto found = arguments.find(key);
    return found == arguments.end() ? nullptr : &found->second;
}

}  // namespace

// A text that happens to be a whole data URL was read as bytes; for the
// tool it is still the text the client sent.
std::optional<std::string> textArgument(const PlainDictionary& arguments, std::string_view key) {
    const auto* value = argument(arguments, key);
    return value ? mcp::jsonText(*value) : std::nullopt;
}

std::optional<std::int64_t> integerArgument(const PlainDictionary& arguments, std::string_view key) {
    const auto* value = argument(arguments, key);
    return value ? value->intValue() : std::nullopt;
}

std::optional<bool> booleanArgument(const PlainDictionary& arguments, std::string_view key) {
    const auto* value = argument(arguments, key);
    return value ? value->boolValue() : std::nullopt;
}

std::optional<double> numberArgument(const PlainDictionary& arguments, std::string_view key) {
    const auto* value = argument(arguments, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (const auto integer = value->intValue()) {
        return static_cast<double>(*integer);
    }
    return value->doubleValue();
}

std::optional<std::vector<std::string>> textListArgument(const PlainDictionary& arguments, std::string_view key) {
    const auto* value = argument(arguments, key);
    const auto* elements = value ? value->arrayValue() : nullptr;
    if (elements == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> texts;
    texts.reserve(elements->size());
    for (const auto& element : *elements) {
        auto text = mcp::jsonText(element);
        if (!text) {
            return std::nullopt;
        }
        texts.push_back(std::move(*text));
    }
    return texts;
}

}  // namespace lumenary::app
