#pragma once

#include <algorithm>
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
    // Takes one or more whole lines, each ending in a line feed, at once;
    // copies what it keeps.
    using TextSink = std::function<void(std::string_view text)>;

    Console() = default;
    Console(std::string prefix, Sink sink) : prefix_(std::move(prefix)), sink_(std::move(sink)) {}
    // A sink that also takes several lines in one text: printText() hands
    // them over at once instead of line by line.
    Console(std::string prefix, Sink sink, TextSink textSink)
        : prefix_(std::move(prefix)), sink_(std::move(sink)), textSink_(std::move(textSink)) {}

    // Lines to standard error, through the process's diagnostics writer: a
    // print never waits for the reader.
    static Console standardError(std::string prefix);

    bool isEnabled() const noexcept { return static_cast<bool>(sink_); }

    // The same sink under another component's prefix.
    Console withPrefix(std::string prefix) const { return Console(std::move(prefix), sink_, textSink_); }

    const std::string& prefix() const noexcept { return prefix_; }

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

    // Hands over `text`, whole lines each with its prefix and ending in a
    // line feed, as ConsoleLines gathers them.
    void printText(std::string_view text) const;

private:
    std::string prefix_;
    Sink sink_;
    TextSink textSink_;
};

// Lines of one task (one request, say) gathered under a console's prefix
// and handed to its sink together: one hand-over to the writer instead of
// one per line, and the task's lines stay together. They go out on flush(),
// and at the latest when the gatherer goes. A gatherer belongs to one thread
// at a time.
class ConsoleLines {
public:
    ConsoleLines() = default;
    explicit ConsoleLines(Console console) : console_(std::move(console)) {}
    ~ConsoleLines() { flush(); }

    ConsoleLines(const ConsoleLines&) = delete;
    ConsoleLines& operator=(const ConsoleLines&) = delete;

    bool isEnabled() const noexcept { return console_.isEnabled(); }

    template <typename... Parts>
    void print(const Parts&... parts) {
        if (!console_.isEnabled()) {
            return;
        }
        const std::string_view pieces[] = {console_.prefix(), std::string_view(parts)..., "\n"};
        std::size_t size = text_.size();
        for (const auto piece : pieces) size += piece.size();
        // The first line takes room for the usual task's lines at once,
        // sparing several regrowths.
        if (text_.capacity() < size) {
            text_.reserve(std::max(size, text_.empty() ? initialCapacity : 2 * text_.capacity()));
        }
        for (const auto piece : pieces) text_.append(piece.data(), piece.size());
    }

    // Hands what was gathered to the sink, keeping the room for what comes
    // next.
    void flush();

private:
    // Room for the usual task's lines, small enough for the allocator's
    // per-thread cache (up to 1 KiB).
    static constexpr std::size_t initialCapacity = 1000;

    Console console_;
    std::string text_;
};

// At most `count` characters (not bytes) of UTF-8 text, never cutting one in
// half.
std::string_view leadingCharacters(std::string_view text, std::size_t count);

}  // namespace lumenary::logging
