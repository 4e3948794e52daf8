#include "logging/console.hpp"

#include "logging/diagnostics_writer.hpp"

namespace lumenary::logging {

Console Console::standardError(std::string prefix) {
    return Console(std::move(prefix), [](std::string line) {
        line.push_back('\n');
        DiagnosticsWriter::standardError().write(std::move(line));
    });
}

std::string_view leadingCharacters(std::string_view text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t characters = 0; end < text.size() && characters < count; ++characters) {
        ++end;
        // Continuation bytes belong to the character before them.
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    }
    return text.substr(0, end);
}

}  // namespace lumenary::logging
