#include "logging/logger.hpp"

#include <utility>

namespace lumenary::logging {

Logger::Location::Location(std::source_location where) noexcept
    : Location(where.file_name(), false, where.function_name(), where.line()) {}

Logger::Location::Location(std::string_view file, bool fileIsID, std::string_view function, std::size_t line) noexcept
    : file_(file), fileIsID_(fileIsID), function_(function), line_(line) {}

Logger::Location Logger::Location::fileID(std::string_view fileID, std::string_view function,
                                          std::source_location where) noexcept {
    return Location(fileID, true, function, where.line());
}

std::string_view Logger::Location::module() const noexcept {
    return fileIsID_ ? currentModule(FileID{file_}) : currentModule(FilePath{file_});
}

Logger::Logger(std::string label, AnyLogHandler handler)
    : storage_(std::make_shared<Storage>(Storage{std::move(label), std::move(handler)})) {}

Logger::Logger(std::string label)
    : Logger(label, [&] {
          std::optional<MetadataProvider> provider = LoggingSystem::metadataProvider();
          return LoggingSystem::factory()(label, provider);
      }()) {}

Logger::Logger(std::string label, const LoggingSystem::Factory& factory) : Logger(label, factory(label)) {}

Logger::Logger(std::string label, const LoggingSystem::FactoryWithProvider& factory)
    : Logger(label, factory(label, LoggingSystem::metadataProvider())) {}

Logger::Logger(std::string label, MetadataProvider metadataProvider)
    : Logger(label, [&] {
          AnyLogHandler handler = LoggingSystem::factory()(label, metadataProvider);
          handler->setMetadataProvider(metadataProvider);
          return handler;
      }()) {}

const std::string& Logger::label() const noexcept {
    return storage_->label;
}

const LogHandler& Logger::handler() const noexcept {
    return *storage_->handler;
}

LogHandler& Logger::mutableHandler() {
    // A count of 1 is reliable: a new sharer would have to copy this Logger
    // value, which only its one current user can do. A count that drops
    // concurrently elsewhere only costs one needless copy.
    if (storage_.use_count() != 1) storage_ = std::make_shared<Storage>(*storage_);
    return *storage_->handler;
}

void Logger::setHandler(AnyLogHandler handler) {
    if (storage_.use_count() != 1) {
        storage_ = std::make_shared<Storage>(Storage{storage_->label, std::move(handler)});
        return;
    }
    storage_->handler = std::move(handler);
}

Logger::Level Logger::logLevel() const {
    return handler().logLevel();
}

void Logger::setLogLevel(Level level) {
    mutableHandler().setLogLevel(level);
}

std::optional<MetadataValue> Logger::metadataValue(std::string_view key) const {
    return handler().metadataValue(key);
}

void Logger::setMetadataValue(std::string key, std::optional<MetadataValue> value) {
    mutableHandler().setMetadataValue(std::move(key), std::move(value));
}

std::optional<MetadataProvider> Logger::metadataProvider() const {
    return handler().metadataProvider();
}

void Logger::log(Level level, DeferredMessage message, DeferredMetadata metadata, DeferredSource source,
                 Location location) const {
    const LogHandler& target = handler();
    if (target.logLevel() > level) return;

    Message text = message.get();
    std::optional<Metadata> callMetadata = metadata.get();
    std::optional<std::string> givenSource = source.get();
    std::string_view recordSource = givenSource ? std::string_view(*givenSource) : location.module();
    target.log(level, text, callMetadata ? &*callMetadata : nullptr, recordSource, location.file(), location.function(),
               location.line());
}

std::string_view Logger::currentModule(FileID fileID) noexcept {
    std::string_view id = fileID.value;
    std::size_t slash = id.find('/');
    if (slash == std::string_view::npos) return "n/a";
    return id.substr(0, slash);
}

std::string_view Logger::currentModule(FilePath filePath) noexcept {
    std::string_view path = filePath.value;
    std::size_t lastSlash = path.rfind('/');
    if (lastSlash == std::string_view::npos || lastSlash == 0) return "n/a";
    std::size_t slashBefore = path.rfind('/', lastSlash - 1);
    if (slashBefore == std::string_view::npos) return "n/a";
    return path.substr(slashBefore + 1, lastSlash - slashBefore - 1);
}

}  // namespace lumenary::logging
