#include "app/http/console_body.hpp"

#include <cstdlib>

#include "logging/console.hpp"
#include "system/utf8.hpp"

namespace lumenary::http {

bool isBodyLoggingRequested() {
    const char* value = std::getenv("LUMENARY_LOG_BODIES");
    return value != nullptr && std::string_view(value) == "1";
}

std::string consoleBody(std::string_view body, bool showsBodies) {
    if (!showsBodies) {
        return std::to_string(body.size()) + " bytes";
    }
    return std::string(system::isValidUTF8(body) ? body : std::string_view("nil"));
}

std::string consoleExcerpt(std::string_view message, bool showsBodies) {
    if (!showsBodies) {
        return std::to_string(message.size()) + " bytes";
    }
    return std::string(logging::leadingCharacters(message, 100)) + "...";
}

}  // namespace lumenary::http
