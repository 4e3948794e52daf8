#include "logging/logging_system.hpp"

#include <utility>

#include "logging/replace_once_box.hpp"
#include "logging/stream_log_handler.hpp"

namespace lumenary::logging {
namespace {

constexpr std::string_view violationMessage = "logging system can only be initialized once per process.";

// Both boxes are created on first use and never destroyed, so a Logger built
// while static objects are destroyed at exit still finds them.
ReplaceOnceBox<std::optional<MetadataProvider>>& providerBox() {
    static auto* box = new ReplaceOnceBox<std::optional<MetadataProvider>>(std::nullopt, violationMessage);
    return *box;
}

ReplaceOnceBox<LoggingSystem::FactoryWithProvider>& factoryBox() {
    // The default ignores the provider it is given and reads the process-wide
    // one, like StreamLogHandler::standardError(label).
    static auto* box = new ReplaceOnceBox<LoggingSystem::FactoryWithProvider>(
        [](const std::string& label, const std::optional<MetadataProvider>&) -> AnyLogHandler {
            return StreamLogHandler::standardError(label);
        },
        violationMessage);
    return *box;
}

}  // namespace

void LoggingSystem::bootstrap(Factory factory) {
    factoryBox().replaceOnce(
        [factory = std::move(factory)](const std::string& label, const std::optional<MetadataProvider>&) {
            return factory(label);
        });
}

void LoggingSystem::bootstrap(FactoryWithProvider factory, std::optional<MetadataProvider> provider) {
    providerBox().replaceOnce(std::move(provider));
    factoryBox().replaceOnce(std::move(factory));
}

std::optional<MetadataProvider> LoggingSystem::metadataProvider() {
    return providerBox().get();
}

LoggingSystem::FactoryWithProvider LoggingSystem::factory() {
    return factoryBox().get();
}

}  // namespace lumenary::logging
