#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace lumenary::logging {

// The program's console lines, each starting with its component's bracketed
// prefix ("[MCPHTTPServer] Received request: POST /mcp"). They are
// diagnostics, so they go to standard error: standard output is the MCP
// stdio stream. A console without a sink prints nothing and builds no text.
// Copies share the sink; print may be called from any thread.
class Console {
public:
    // Takes one whole line without its line feed.
    using Sink = std::function<void(std::string_view line)>;

    Console() = default;
    Console(std::string prefix, Sink sink) : prefix_(std::move(prefix)), sink_(std::move(sink)) {}

    // Lines to standard error.
    static Console standardError(std::string prefix);

    bool isEnabled() const noexcept { return static_cast<bool>(sink_); }

    // The same sink under another component's prefix.
    Console withPrefix(std::string prefix) const { return Console(std::move(prefix), sink_); }

    template <typename... Parts>
    void print(const Parts&... parts) const {
        if (!sink_) {
            return;
        }
        std::string line = prefix_;
        (line.append(parts), ...);
        sink_(line);
    }

private:
    std::string prefix_;
    Sink sink_;
};

// At most `count` characters (not bytes) of UTF-8 text, never cutting one in
// half.
std::string_view leadingCharacters(std::string_view text, std::size_t count);

}  // namespace lumenary::logging
