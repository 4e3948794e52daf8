#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "logging/log_handler.hpp"

namespace lumenary::logging::testing {

struct RecordedEntry {
    std::string handlerName;
    LogLevel level;
    std::string message;
    std::optional<Metadata> metadata;
    std::string source;
    std::string file;
    std::string function;
    std::size_t line;
};

using RecordLog = std::vector<RecordedEntry>;

// A handler that appends every record it is given to a log shared by all its
// copies, so a test can see what reached which handler, in which order.
class RecordingLogHandler final : public LogHandler {
public:
    explicit RecordingLogHandler(std::string name, LogLevel level = LogLevel::trace,
                                 std::shared_ptr<RecordLog> records = std::make_shared<RecordLog>())
        : name_(std::move(name)), level_(level), records_(std::move(records)) {}

    const std::shared_ptr<RecordLog>& records() const { return records_; }

    std::unique_ptr<LogHandler> clone() const override { return std::make_unique<RecordingLogHandler>(*this); }

    std::optional<MetadataProvider> metadataProvider() const override { return provider_; }
    void setMetadataProvider(std::optional<MetadataProvider> provider) override { provider_ = std::move(provider); }

    using LogHandler::log;
    void log(LogLevel level, const std::string& message, const Metadata* metadata, std::string_view source,
             std::string_view file, std::string_view function, std::size_t line) const override {
        records_->push_back(RecordedEntry{name_, level, message,
                                          metadata ? std::optional<Metadata>(*metadata) : std::nullopt,
                                          std::string(source), std::string(file), std::string(function), line});
    }

    std::optional<MetadataValue> metadataValue(std::string_view key) const override {
        auto entry = metadata_.find(key);
        if (entry == metadata_.end()) return std::nullopt;
        return entry->second;
    }
    void setMetadataValue(std::string key, std::optional<MetadataValue> value) override {
        if (value) {
            metadata_.insert_or_assign(std::move(key), std::move(*value));
        } else {
            metadata_.erase(key);
        }
    }

    Metadata metadata() const override { return metadata_; }
    void setMetadata(Metadata metadata) override { metadata_ = std::move(metadata); }

    LogLevel logLevel() const override { return level_; }
    void setLogLevel(LogLevel level) override { level_ = level; }

private:
    std::string name_;
    LogLevel level_;
    Metadata metadata_;
    std::optional<MetadataProvider> provider_;
    std::shared_ptr<RecordLog> records_;
};

}  // namespace lumenary::logging::testing
