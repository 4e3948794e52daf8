#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace lumenary::http {

// The HTTP server's console lines, each starting "[MCPHTTPServer] ". They are
// diagnostics, so by default they go to standard error: standard output is
// the MCP stdio stream. A console without a sink prints nothing and builds no
// text.
class Console {
public:
    // Takes one line without its line feed; called from any thread.
    using Sink = std::function<void(std::string_view line)>;

    Console() = default;
    explicit Console(Sink sink) : sink_(std::move(sink)) {}

    static Console standardError();

    bool isEnabled() const noexcept { return static_cast<bool>(sink_); }

    template <typename... Parts>
    void print(const Parts&... parts) const {
        if (!sink_) {
            return;
        }
        std::string line = "[MCPHTTPServer] ";
        (line.append(parts), ...);
        sink_(line);
    }

private:
    Sink sink_;
};

// At most `count` characters (not bytes) of UTF-8 text, never cutting one in
// half.
std::string_view leadingCharacters(std::string_view text, std::size_t count);

}  // namespace lumenary::http
