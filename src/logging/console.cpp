#include "logging/console.hpp"

#include "logging/diagnostics_writer.hpp"

#include <utility>

namespace lumenary::logging {

Console Console::standardError(std::string prefix) {
    return Console(
        std::move(prefix),
        [](std::string line) {
            line.push_back('\n');
            DiagnosticsWriter::standardError().write(std::move(line));
        },
        [](std::string_view text) { DiagnosticsWriter::standardError().write(text); });
}

void Console::printText(std::string_view text) const {
    if (text.empty()) {
        return;
    }
    if (textSink_) {
        textSink_(text);
        return;
    }
    if (!sink_) {
        return;
    }
    // A sink of single lines gets them one by one, as print() gives them.
    std::string_view rest(text);
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const auto line = rest.substr(0, end);
        std::string copy;
        copy.reserve(line.size() + 1);
        copy.append(line);
        sink_(std::move(copy));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
}

void ConsoleLines::flush() {
    if (text_.empty()) {
        return;
    }
    console_.printText(text_);
    text_.clear();
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
