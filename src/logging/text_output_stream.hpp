#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

namespace lumenary::logging {

// Where a stream log handler writes its lines: one call per whole line.
class TextOutputStream {
public:
    virtual ~TextOutputStream() = default;
    virtual void write(std::string_view text) = 0;

protected:
    TextOutputStream() = default;
    TextOutputStream(const TextOutputStream&) = default;
    TextOutputStream& operator=(const TextOutputStream&) = default;
};

// A C standard I/O stream. Each write holds the FILE's own lock across the
// write and the flush, so texts written from different threads never
// interleave. Failed writes and flushes are ignored.
class StdioOutputStream final : public TextOutputStream {
public:
    enum class FlushMode { undefined, always };

    // The stream does not own `file`.
    StdioOutputStream(std::FILE* file, FlushMode flushMode) noexcept;

    void write(std::string_view text) override;

    // The process's standard output, flushed after every write, and its
    // standard error, which goes through the process's diagnostics writer so
    // that a reader who stops reading never holds up the thread that logs.
    // Each created once, on first use.
    static const std::shared_ptr<StdioOutputStream>& standardOutput();
    static const std::shared_ptr<TextOutputStream>& standardError();

private:
    std::FILE* file_;
    FlushMode flushMode_;
};

// Whole texts to the process's diagnostics writer (standard error), queued
// rather than written on the caller's thread.
class DiagnosticsOutputStream final : public TextOutputStream {
public:
    void write(std::string_view text) override;
};

}  // namespace lumenary::logging
