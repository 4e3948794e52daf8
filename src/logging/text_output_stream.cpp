#include "logging/text_output_stream.hpp"

#include <string>

#include "logging/diagnostics_writer.hpp"

namespace lumenary::logging {

StdioOutputStream::StdioOutputStream(std::FILE* file, FlushMode flushMode) noexcept
    : file_(file), flushMode_(flushMode) {}

void StdioOutputStream::write(std::string_view text) {
    flockfile(file_);
    static_cast<void>(std::fwrite(text.data(), 1, text.size(), file_));
    if (flushMode_ == FlushMode::always) static_cast<void>(std::fflush(file_));
    funlockfile(file_);
}

// Never destroyed, so a Logger used while static objects are destroyed at
// exit still finds its stream.
const std::shared_ptr<StdioOutputStream>& StdioOutputStream::standardOutput() {
    static const auto* stream =
        new std::shared_ptr<StdioOutputStream>(std::make_shared<StdioOutputStream>(stdout, FlushMode::always));
    return *stream;
}

const std::shared_ptr<TextOutputStream>& StdioOutputStream::standardError() {
    static const auto* stream = new std::shared_ptr<TextOutputStream>(std::make_shared<DiagnosticsOutputStream>());
    return *stream;
}

void DiagnosticsOutputStream::write(std::string_view text) {
    DiagnosticsWriter::standardError().write(text);
}

}  // namespace lumenary::logging
