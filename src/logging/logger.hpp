#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>

#include "logging/deferred.hpp"
#include "logging/log_handler.hpp"
#include "logging/log_level.hpp"
#include "logging/logging_system.hpp"
#include "logging/metadata_provider.hpp"
#include "logging/metadata_value.hpp"

namespace lumenary::logging {

// A labelled logger. It does no output of its own: it tests its handler's
// level, builds the message and metadata only when the level admits the
// record, works out the record's source and hands the record to the handler.
//
// A value type holding one shared reference: copies are cheap, and a copy
// that is changed (level, metadata, handler) first takes a private copy of
// the handler, so copies never see each other's changes. One Logger value is
// used by one thread at a time; distinct copies may be used on different
// threads.
class Logger {
public:
    using Level = LogLevel;
    using Message = std::string;
    using MetadataValue = logging::MetadataValue;
    using Metadata = logging::Metadata;
    using MetadataProvider = logging::MetadataProvider;

    // A "Module/File" identifier such as "MCP/Server".
    struct FileID {
        std::string_view value;
    };
    // A file's path as the compiler spells it.
    struct FilePath {
        std::string_view value;
    };

    // Where a record was made. By default the compiler's location of the call,
    // whose file is a path: the source of such a record is the directory that
    // holds the file (src/mcp/server/server.cpp gives "server"). Components
    // that name themselves the "Module/File" way pass Location::fileID, and the
    // source is then the module ("MCP/Client" gives "MCP").
    class Location {
    public:
        Location(std::source_location where) noexcept;  // implicit: the default argument of every entry point

        static Location fileID(std::string_view fileID, std::string_view function,
                               std::source_location where = std::source_location::current()) noexcept;

        std::string_view file() const noexcept { return file_; }
        std::string_view function() const noexcept { return function_; }
        std::size_t line() const noexcept { return line_; }
        // The source derived from the file when a call names none.
        std::string_view module() const noexcept;

    private:
        Location(std::string_view file, bool fileIsID, std::string_view function, std::size_t line) noexcept;

        std::string_view file_;
        bool fileIsID_;
        std::string_view function_;
        std::size_t line_;
    };

    using DeferredMessage = Deferred<Message>;
    using DeferredMetadata = Deferred<std::optional<Metadata>>;
    using DeferredSource = Deferred<std::optional<std::string>>;

    // The given handler; the LoggingSystem is not consulted.
    Logger(std::string label, AnyLogHandler handler);
    // The process-wide factory's handler, given the process-wide provider.
    explicit Logger(std::string label);
    // factory(label); the LoggingSystem is not consulted.
    Logger(std::string label, const LoggingSystem::Factory& factory);
    // factory(label, the process-wide provider).
    Logger(std::string label, const LoggingSystem::FactoryWithProvider& factory);
    // The process-wide factory's handler, given this provider, which is then
    // also set on the handler.
    Logger(std::string label, MetadataProvider metadataProvider);

    const std::string& label() const noexcept;

    const LogHandler& handler() const noexcept;
    void setHandler(AnyLogHandler handler);

    Level logLevel() const;
    void setLogLevel(Level level);

    std::optional<MetadataValue> metadataValue(std::string_view key) const;
    // std::nullopt removes the key.
    void setMetadataValue(std::string key, std::optional<MetadataValue> value);

    std::optional<MetadataProvider> metadataProvider() const;

    // Entry points. Message, metadata and source are evaluated, in that order,
    // only when the handler's level admits the record; an absent source is
    // derived from the location. Pass `{}` to skip the metadata:
    //   logger.debug("Message received", {}, "MCP");
    void log(Level level, DeferredMessage message, DeferredMetadata metadata = {}, DeferredSource source = {},
             Location location = std::source_location::current()) const;

    void trace(DeferredMessage message, DeferredMetadata metadata = {}, DeferredSource source = {},
               Location location = std::source_location::current()) const {
        log(Level::trace, message, metadata, source, location);
    }
    void debug(DeferredMessage message, DeferredMetadata metadata = {}, DeferredSource source = {},
               Location location = std::source_location::current()) const {
        log(Level::debug, message, metadata, source, location);
    }
    void info(DeferredMessage message, DeferredMetadata metadata = {}, DeferredSource source = {},
              Location location = std::source_location::current()) const {
        log(Level::info, message, metadata, source, location);
    }
    void notice(DeferredMessage message, DeferredMetadata metadata = {}, DeferredSource source = {},
                Location location = std::source_location::current()) const {
        log(Level::notice, message, metadata, source, location);
    }
    void warning(DeferredMessage message, DeferredMetadata metadata = {}, DeferredSource source = {},
                 Location location = std::source_location::current()) const {
        log(Level::warning, message, metadata, source, location);
    }
    void error(DeferredMessage message, DeferredMetadata metadata = {}, DeferredSource source = {},
               Location location = std::source_location::current()) const {
        log(Level::error, message, metadata, source, location);
    }
    void critical(DeferredMessage message, DeferredMetadata metadata = {}, DeferredSource source = {},
                  Location location = std::source_location::current()) const {
        log(Level::critical, message, metadata, source, location);
    }

    // The text before the first slash; "n/a" without a slash.
    static std::string_view currentModule(FileID fileID) noexcept;
    // The name of the directory that holds the file: the text between the last
    // slash and the one before it; "n/a" with fewer than two slashes.
    static std::string_view currentModule(FilePath filePath) noexcept;

private:
    struct Storage {
        std::string label;
        AnyLogHandler handler;
    };

    // The handler of a storage object this Logger alone refers to.
    LogHandler& mutableHandler();

    std::shared_ptr<Storage> storage_;
};

}  // namespace lumenary::logging
