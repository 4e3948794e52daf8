#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "logging/log_handler.hpp"

namespace lumenary::logging {

// Fans every record out to a list of handlers, each filtering by its own
// level, and presents the list as one handler. Writes through the multiplex
// (level, metadata, provider) change every handler in the list.
class MultiplexLogHandler final : public LogHandler {
public:
    // The reported level is the lowest level among the handlers (trace for an
    // empty list). The list must not be empty when metadata() is read.
    explicit MultiplexLogHandler(std::vector<AnyLogHandler> handlers,
                                 std::optional<MetadataProvider> metadataProvider = std::nullopt);

    // The handlers, in fan-out order.
    const std::vector<AnyLogHandler>& handlers() const noexcept { return handlers_; }

    std::unique_ptr<LogHandler> clone() const override;

    // The handlers' providers followed by the multiplex's own, combined; for
    // equal keys the multiplex's own provider wins. Setting a provider sets it
    // on every handler and leaves the multiplex's own alone.
    std::optional<MetadataProvider> metadataProvider() const override;
    void setMetadataProvider(std::optional<MetadataProvider> provider) override;

    using LogHandler::log;
    void log(LogLevel level, const std::string& message, const Metadata* metadata, std::string_view source,
             std::string_view file, std::string_view function, std::size_t line) const override;

    // The value of the first handler that has one.
    std::optional<MetadataValue> metadataValue(std::string_view key) const override;
    void setMetadataValue(std::string key, std::optional<MetadataValue> value) override;

    // Every handler's metadata and provider in list order, then the
    // multiplex's own provider; later entries win for equal keys.
    Metadata metadata() const override;
    void setMetadata(Metadata metadata) override;

    LogLevel logLevel() const override;
    void setLogLevel(LogLevel level) override;

private:
    std::vector<AnyLogHandler> handlers_;
    LogLevel effectiveLogLevel_;
    std::optional<MetadataProvider> metadataProvider_;
};

}  // namespace lumenary::logging
