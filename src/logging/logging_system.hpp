#pragma once

#include <functional>
#include <optional>
#include <string>

#include "logging/log_handler.hpp"
#include "logging/metadata_provider.hpp"

namespace lumenary::logging {

// The process-wide choice of log back end: the factory that makes the handler
// of every Logger built from a label alone, and a metadata provider. Each can
// be set once per process; a second bootstrap is a programming error that
// stops the process. Without a bootstrap every such Logger writes to standard
// error at level info, without a metadata provider.
class LoggingSystem {
public:
    using Factory = std::function<AnyLogHandler(const std::string& label)>;
    using FactoryWithProvider =
        std::function<AnyLogHandler(const std::string& label, const std::optional<MetadataProvider>& provider)>;

    LoggingSystem() = delete;

    // Replaces the factory only; the provider stays as it was.
    static void bootstrap(Factory factory);
    // Replaces the provider (even with an absent one), then the factory, which
    // receives the label and the provider of each Logger.
    static void bootstrap(FactoryWithProvider factory, std::optional<MetadataProvider> provider);

    static std::optional<MetadataProvider> metadataProvider();
    static FactoryWithProvider factory();
};

}  // namespace lumenary::logging
