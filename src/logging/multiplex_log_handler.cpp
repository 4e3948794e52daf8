#include "logging/multiplex_log_handler.hpp"

#include <algorithm>
#include <utility>

#include "logging/diagnostics_writer.hpp"

namespace lumenary::logging {
namespace {

void insertReplacing(Metadata& into, Metadata entries) {
    for (auto& [key, value] : entries) into.insert_or_assign(key, std::move(value));
}

}  // namespace

MultiplexLogHandler::MultiplexLogHandler(std::vector<AnyLogHandler> handlers,
                                         std::optional<MetadataProvider> metadataProvider)
    : handlers_(std::move(handlers)),
      effectiveLogLevel_(LogLevel::trace),
      metadataProvider_(std::move(metadataProvider)) {
    if (handlers_.empty()) return;
    effectiveLogLevel_ = LogLevel::critical;
    for (const auto& handler : handlers_) effectiveLogLevel_ = std::min(effectiveLogLevel_, handler->logLevel());
}

std::unique_ptr<LogHandler> MultiplexLogHandler::clone() const {
    return std::make_unique<MultiplexLogHandler>(*this);
}

std::optional<MetadataProvider> MultiplexLogHandler::metadataProvider() const {
    std::vector<MetadataProvider> providers;
    for (const auto& handler : handlers_) {
        if (auto provider = handler->metadataProvider()) providers.push_back(std::move(*provider));
    }
    if (metadataProvider_) providers.push_back(*metadataProvider_);
    if (providers.empty()) return std::nullopt;
    // A lone provider needs no combining.
    if (providers.size() == 1) return std::move(providers.front());
    return MetadataProvider::multiplex(std::move(providers));
}

void MultiplexLogHandler::setMetadataProvider(std::optional<MetadataProvider> provider) {
    for (auto& handler : handlers_) handler->setMetadataProvider(provider);
}

void MultiplexLogHandler::log(LogLevel level, const std::string& message, const Metadata* metadata,
                              std::string_view source, std::string_view file, std::string_view function,
                              std::size_t line) const {
    for (const auto& handler : handlers_) {
        if (handler->logLevel() <= level) handler->log(level, message, metadata, source, file, function, line);
    }
}

std::optional<MetadataValue> MultiplexLogHandler::metadataValue(std::string_view key) const {
    for (const auto& handler : handlers_) {
        if (auto value = handler->metadataValue(key)) return value;
    }
    return std::nullopt;
}

void MultiplexLogHandler::setMetadataValue(std::string key, std::optional<MetadataValue> value) {
    for (auto& handler : handlers_) handler->setMetadataValue(key, value);
}

Metadata MultiplexLogHandler::metadata() const {
    if (handlers_.empty()) {
        abortWithDiagnostic("MultiplexLogHandler: metadata read with no handlers");
    }
    Metadata combined;
    for (const auto& handler : handlers_) {
        insertReplacing(combined, handler->metadata());
        if (auto provider = handler->metadataProvider()) insertReplacing(combined, provider->get());
    }
    if (metadataProvider_) insertReplacing(combined, metadataProvider_->get());
    return combined;
}

void MultiplexLogHandler::setMetadata(Metadata metadata) {
    for (auto& handler : handlers_) handler->setMetadata(metadata);
}

LogLevel MultiplexLogHandler::logLevel() const {
    return effectiveLogLevel_;
}

void MultiplexLogHandler::setLogLevel(LogLevel level) {
    for (auto& handler : handlers_) handler->setLogLevel(level);
    effectiveLogLevel_ = level;
}

}  // namespace lumenary::logging
