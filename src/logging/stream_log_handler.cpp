#include "logging/stream_log_handler.hpp"

#include <utility>

#include "logging/logging_system.hpp"

namespace lumenary::logging {

StreamLogHandler::StreamLogHandler(std::shared_ptr<TextOutputStream> stream, std::string label,
                                   std::optional<MetadataProvider> metadataProvider)
    : stream_(std::move(stream)), label_(std::move(label)), metadataProvider_(std::move(metadataProvider)) {}

StreamLogHandler StreamLogHandler::standardError(std::string label, std::optional<MetadataProvider> metadataProvider) {
    return StreamLogHandler(StdioOutputStream::standardError(), std::move(label), std::move(metadataProvider));
}

StreamLogHandler StreamLogHandler::standardOutput(std::string label, std::optional<MetadataProvider> metadataProvider) {
    return StreamLogHandler(StdioOutputStream::standardOutput(), std::move(label), std::move(metadataProvider));
}

StreamLogHandler StreamLogHandler::standardError(std::string label) {
    return standardError(std::move(label), LoggingSystem::metadataProvider());
}

StreamLogHandler StreamLogHandler::standardOutput(std::string label) {
    return standardOutput(std::move(label), LoggingSystem::metadataProvider());
}

std::string StreamLogHandler::timestamp(std::time_t time) {
    // localtime_r, not localtime: localtime's shared result buffer would race
    // between threads logging at the same moment.
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) return "<unknown>";
    char buffer[255] = {};
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S%z", &local);
    return std::string(buffer);
}

std::optional<std::string> StreamLogHandler::renderMetadata(const Metadata& metadata) {
    if (metadata.empty()) return std::nullopt;
    std::string rendered;
    for (const auto& [key, value] : metadata) {
        if (!rendered.empty()) rendered += ' ';
        rendered += key;
        rendered += '=';
        rendered += value.description();
    }
    return rendered;
}

std::unique_ptr<LogHandler> StreamLogHandler::clone() const {
    return std::make_unique<StreamLogHandler>(*this);
}

std::optional<MetadataProvider> StreamLogHandler::metadataProvider() const {
    return metadataProvider_;
}

void StreamLogHandler::setMetadataProvider(std::optional<MetadataProvider> provider) {
    metadataProvider_ = std::move(provider);
}

void StreamLogHandler::log(LogLevel level, const std::string& message, const Metadata* metadata,
                           std::string_view source, std::string_view /*file*/, std::string_view /*function*/,
                           std::size_t /*line*/) const {
    Metadata provided = metadataProvider_ ? metadataProvider_->get() : Metadata{};
    bool noCallMetadata = metadata == nullptr || metadata->empty();

    // A record with nothing beyond the handler's own metadata reuses its cached
    // rendering.
    std::optional<std::string> merged;
    const std::optional<std::string>* rendering = &prettyMetadata_;
    if (!provided.empty() || !noCallMetadata) {
        merged = renderMetadata(mergedMetadata(std::move(provided), metadata));
        rendering = &merged;
    }

    std::string line = timestamp(std::time(nullptr));
    line += ' ';
    line += toString(level);
    if (!label_.empty()) {
        line += ' ';
        line += label_;
    }
    line += ':';
    if (*rendering) {
        line += ' ';
        line += **rendering;
    }
    line += " [";
    line += source;
    line += "] ";
    line += message;
    line += '\n';
    stream_->write(line);
}

Metadata StreamLogHandler::mergedMetadata(Metadata provided, const Metadata* callMetadata) const {
    // For equal keys the call wins over the provider, and the provider over
    // the handler.
    Metadata merged = metadata_;
    for (auto& [key, value] : provided) merged.insert_or_assign(key, std::move(value));
    if (callMetadata != nullptr) {
        for (const auto& [key, value] : *callMetadata) merged.insert_or_assign(key, value);
    }
    return merged;
}

std::optional<MetadataValue> StreamLogHandler::metadataValue(std::string_view key) const {
    auto entry = metadata_.find(key);
    if (entry == metadata_.end()) return std::nullopt;
    return entry->second;
}

void StreamLogHandler::setMetadataValue(std::string key, std::optional<MetadataValue> value) {
    if (value) {
        metadata_.insert_or_assign(std::move(key), std::move(*value));
    } else {
        metadata_.erase(key);
    }
    prettyMetadata_ = renderMetadata(metadata_);
}

Metadata StreamLogHandler::metadata() const {
    return metadata_;
}

void StreamLogHandler::setMetadata(Metadata metadata) {
    metadata_ = std::move(metadata);
    prettyMetadata_ = renderMetadata(metadata_);
}

LogLevel StreamLogHandler::logLevel() const {
    return logLevel_;
}

void StreamLogHandler::setLogLevel(LogLevel level) {
    logLevel_ = level;
}

}  // namespace lumenary::logging
