#pragma once

#include <memory>
#include <optional>

#include "logging/log_handler.hpp"

namespace lumenary::logging {

// Discards everything and reports level critical, so a Logger over it never
// even builds a record below critical. Every write is ignored.
class NoOpLogHandler final : public LogHandler {
public:
    NoOpLogHandler() = default;

    std::unique_ptr<LogHandler> clone() const override { return std::make_unique<NoOpLogHandler>(); }

    std::optional<MetadataProvider> metadataProvider() const override { return std::nullopt; }
    void setMetadataProvider(std::optional<MetadataProvider> /*provider*/) override {}

    using LogHandler::log;
    void log(LogLevel /*level*/, const std::string& /*message*/, const Metadata* /*metadata*/,
             std::string_view /*source*/, std::string_view /*file*/, std::string_view /*function*/,
             std::size_t /*line*/) const override {}

    std::optional<MetadataValue> metadataValue(std::string_view /*key*/) const override { return std::nullopt; }
    void setMetadataValue(std::string /*key*/, std::optional<MetadataValue> /*value*/) override {}

    Metadata metadata() const override { return {}; }
    void setMetadata(Metadata /*metadata*/) override {}

    LogLevel logLevel() const override { return LogLevel::critical; }
    void setLogLevel(LogLevel /*level*/) override {}
};

}  // namespace lumenary::logging
