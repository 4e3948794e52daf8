#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace lumenary::logging {

// The program's console lines, each starting with its component's bracketed
// prefix ("[MCPHTTPServer] Received request: POST /mcp"). They are
// diagnostics, so they go to standard error: standard output is the MCP
// stdio stream. A console without a sink prints nothing and builds no text.
// Copies share the sink; print may be called from any thread.
class Console {
public:
    // Takes one whole line without its line feed, and may keep it: the line
    // has room for one more character, so adding the line feed costs no
    // further allocation.
    using Sink = std::function<void(std::string line)>;

    Console() = default;
    Console(std::string prefix, Sink sink) : prefix_(std::move(prefix)), sink_(std::move(sink)) {}

    // Lines to standard error, through the process's diagnostics writer: a
    // print never waits for the reader.
    static Console standardError(std::string prefix);

    bool isEnabled() const noexcept { return static_cast<bool>(sink_); }

    // The same sink under another component's prefix.
    Console withPrefix(std::string prefix) const { return Console(std::move(prefix), sink_); }

    template <typename... Parts>
    void print(const Parts&... parts) const {
        if (!sink_) {
            return;
        }
        std::string line;
        line.reserve(prefix_.size() + (std::string_view(parts).size() + ... + 0) + 1);
        line.append(prefix_);
        (line.append(parts), ...);
        sink_(std::move(line));
    }

private:
    std::string prefix_;
    Sink sink_;
};

// At most `count` characters (not bytes) of UTF-8 text, never cutting one in
// half.
std::string_view leadingCharacters(std::string_view text, std::size_t count);

}  // namespace lumenary::logging
