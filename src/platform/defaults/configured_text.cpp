#include "platform/defaults/configured_text.hpp"

#include <cstdlib>

namespace lumenary::platform {

std::string configuredText(std::string_view environmentVariable, std::string_view defaultsKey,
                           const DefaultsStore& defaults, std::string builtIn) {
    if (const char* value = std::getenv(std::string(environmentVariable).c_str()); value != nullptr && *value != '\0') {
        return value;
    }
    if (const auto stored = defaults.object(defaultsKey)) {
        if (const auto* text = stored->stringValue(); text != nullptr && !text->empty()) {
            return *text;
        }
    }
    return builtIn;
}

}  // namespace lumenary::platform
