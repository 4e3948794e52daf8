#include "platform/music/escaped_fields.hpp"

namespace lumenary::platform {

void appendEscapedField(std::string& out, std::string_view field) {
    for (const char character : field) {
        switch (character) {
            case '\\': out.append("\\\\"); break;
            case '\t': out.append("\\t"); break;
            case '\n': out.append("\\n"); break;
            case '\r': out.append("\\r"); break;
            default: out.push_back(character);
        }
    }
}

std::vector<std::string> escapedFieldsOf(std::string_view line) {
    std::vector<std::string> fields(1);
    for (std::size_t index = 0; index < line.size(); ++index) {
        const char character = line[index];
        if (character == '\t') {
            fields.emplace_back();
        } else if (character == '\\' && index + 1 < line.size()) {
            const char escaped = line[++index];
            fields.back().push_back(escaped == 't' ? '\t' : escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped);
        } else {
            fields.back().push_back(character);
        }
    }
    return fields;
}

}  // namespace lumenary::platform
