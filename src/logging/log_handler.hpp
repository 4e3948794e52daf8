#pragma once

#include <concepts>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "logging/log_level.hpp"
#include "logging/metadata_provider.hpp"
#include "logging/metadata_value.hpp"

namespace lumenary::logging {

// A log back end. Handlers are values: every Logger holds its own copy (see
// AnyLogHandler), so changing the level or metadata of one copy never shows
// in another. An implementation may be handed between threads, and its
// const operations may be called from any thread.
class LogHandler {
public:
    virtual ~LogHandler() = default;

    virtual std::unique_ptr<LogHandler> clone() const = 0;

    virtual std::optional<MetadataProvider> metadataProvider() const = 0;
    virtual void setMetadataProvider(std::optional<MetadataProvider> provider) = 0;

    // Records one event. `metadata` is the call's own metadata, null when the
    // call passed none. The level has already been tested by the Logger.
    virtual void log(LogLevel level, const std::string& message, const Metadata* metadata, std::string_view source,
                     std::string_view file, std::string_view function, std::size_t line) const = 0;

    // The same with the source derived from `file` as a file path: the name of
    // the directory that holds the file.
    void log(LogLevel level, const std::string& message, const Metadata* metadata, std::string_view file,
             std::string_view function, std::size_t line) const;

    // One key of the handler's own metadata; setting std::nullopt removes it.
    virtual std::optional<MetadataValue> metadataValue(std::string_view key) const = 0;
    virtual void setMetadataValue(std::string key, std::optional<MetadataValue> value) = 0;

    virtual Metadata metadata() const = 0;
    virtual void setMetadata(Metadata metadata) = 0;

    // Records below this level are dropped.
    virtual LogLevel logLevel() const = 0;
    virtual void setLogLevel(LogLevel level) = 0;

protected:
    LogHandler() = default;
    LogHandler(const LogHandler&) = default;
    LogHandler& operator=(const LogHandler&) = default;
};

// A copyable holder of any LogHandler value: copying it copies the handler.
// Any concrete handler converts to it implicitly. A moved-from holder is
// empty and may only be assigned to or destroyed.
class AnyLogHandler {
public:
    template <class Handler>
    requires std::derived_from<std::remove_cvref_t<Handler>, LogHandler> &&
        (!std::is_abstract_v<std::remove_cvref_t<Handler>>)AnyLogHandler(Handler&& handler)
        : handler_(std::make_unique<std::remove_cvref_t<Handler>>(std::forward<Handler>(handler))) {}

    // A copy of any handler seen through the interface.
    explicit AnyLogHandler(const LogHandler& handler) : handler_(handler.clone()) {}

    AnyLogHandler(const AnyLogHandler& other) : handler_(other.handler_->clone()) {}
    AnyLogHandler(AnyLogHandler&&) noexcept = default;
    AnyLogHandler& operator=(const AnyLogHandler& other) {
        if (this != &other) handler_ = other.handler_->clone();
        return *this;
    }
    AnyLogHandler& operator=(AnyLogHandler&&) noexcept = default;
    ~AnyLogHandler() = default;

    LogHandler& operator*() noexcept { return *handler_; }
    const LogHandler& operator*() const noexcept { return *handler_; }
    LogHandler* operator->() noexcept { return handler_.get(); }
    const LogHandler* operator->() const noexcept { return handler_.get(); }

private:
    std::unique_ptr<LogHandler> handler_;
};

}  // namespace lumenary::logging
