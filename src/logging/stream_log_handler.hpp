#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "logging/log_handler.hpp"
#include "logging/text_output_stream.hpp"

namespace lumenary::logging {

// The handler that produces output: each record becomes one line,
//   <timestamp> <level> <label>: <metadata> [<source>] <message>\n
// where " <label>" is left out for an empty label and " <metadata>" when the
// record has no metadata. The line goes to the stream in one write.
class StreamLogHandler final : public LogHandler {
public:
    // Level info, no metadata of its own.
    StreamLogHandler(std::shared_ptr<TextOutputStream> stream, std::string label,
                     std::optional<MetadataProvider> metadataProvider = std::nullopt);

    static StreamLogHandler standardError(std::string label, std::optional<MetadataProvider> metadataProvider);
    static StreamLogHandler standardOutput(std::string label, std::optional<MetadataProvider> metadataProvider);
    // The same with the process-wide provider as it is at this moment.
    static StreamLogHandler standardError(std::string label);
    static StreamLogHandler standardOutput(std::string label);

    const std::shared_ptr<TextOutputStream>& stream() const noexcept { return stream_; }
    const std::string& label() const noexcept { return label_; }

    // Local time such as 2026-12-06T10:42:08+0100, or "<unknown>" when the
    // time cannot be converted.
    static std::string timestamp(std::time_t time);

    // "key=value" entries sorted by key and joined by single spaces; absent
    // for empty metadata.
    static std::optional<std::string> renderMetadata(const Metadata& metadata);

    std::unique_ptr<LogHandler> clone() const override;

    std::optional<MetadataProvider> metadataProvider() const override;
    void setMetadataProvider(std::optional<MetadataProvider> provider) override;

    using LogHandler::log;
    void log(LogLevel level, const std::string& message, const Metadata* metadata, std::string_view source,
             std::string_view file, std::string_view function, std::size_t line) const override;

    std::optional<MetadataValue> metadataValue(std::string_view key) const override;
    void setMetadataValue(std::string key, std::optional<MetadataValue> value) override;

    Metadata metadata() const override;
    void setMetadata(Metadata metadata) override;

    LogLevel logLevel() const override;
    void setLogLevel(LogLevel level) override;

private:
    Metadata mergedMetadata(Metadata provided, const Metadata* callMetadata) const;

    std::shared_ptr<TextOutputStream> stream_;
    std::string label_;
    LogLevel logLevel_ = LogLevel::info;
    std::optional<MetadataProvider> metadataProvider_;
    // The rendering of metadata_, kept up to date on every change of it.
    std::optional<std::string> prettyMetadata_;
    Metadata metadata_;
};

}  // namespace lumenary::logging
