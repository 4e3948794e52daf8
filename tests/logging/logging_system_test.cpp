#include "logging/logging_system.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "logging/logger.hpp"
#include "logging/recording_log_handler.hpp"
#include "logging/stream_log_handler.hpp"

namespace lumenary::logging {
namespace {

using testing::RecordingLogHandler;

MetadataProvider providingValue(std::string value) {
    return MetadataProvider([value] { return Metadata{{"p", value}}; });
}

std::string providerValue(const std::optional<MetadataProvider>& provider) {
    if (!provider) return "<absent>";
    return provider->get().at("p").description();
}

// Nothing in these tests bootstraps the test process itself: bootstrapping is
// once per process, so every bootstrap happens in a child (EXPECT_EXIT or
// EXPECT_DEATH forks one).

TEST(LoggingSystem, WithoutBootstrapALabelledLoggerWritesToStandardErrorAtInfo) {
    Logger logger("plain");

    const auto* handler = dynamic_cast<const StreamLogHandler*>(&logger.handler());
    ASSERT_NE(handler, nullptr);
    EXPECT_EQ(logger.label(), "plain");
    EXPECT_EQ(handler->label(), "plain");
    EXPECT_EQ(handler->stream(), StdioOutputStream::standardError());
    EXPECT_EQ(logger.logLevel(), LogLevel::info);
    EXPECT_FALSE(logger.metadataProvider().has_value());
    EXPECT_FALSE(LoggingSystem::metadataProvider().has_value());
    EXPECT_FALSE(StreamLogHandler::standardError("e").metadataProvider().has_value());
}

TEST(LoggingSystem, LoggerWithAProviderGetsItOnTheDefaultHandler) {
    Logger logger("provided", providingValue("given"));

    EXPECT_NE(dynamic_cast<const StreamLogHandler*>(&logger.handler()), nullptr);
    EXPECT_EQ(providerValue(logger.metadataProvider()), "given");
}

TEST(LoggingSystem, LoggerWithAFactoryUsesItWithTheLabel) {
    std::string seenLabel;
    Logger oneArgument("one", [&](const std::string& label) {
        seenLabel = label;
        return RecordingLogHandler("made", LogLevel::debug);
    });
    EXPECT_EQ(seenLabel, "one");
    EXPECT_EQ(oneArgument.logLevel(), LogLevel::debug);

    std::string seenProvider;
    Logger twoArguments("two", [&](const std::string& label, const std::optional<MetadataProvider>& provider) {
        seenLabel = label;
        seenProvider = providerValue(provider);
        return RecordingLogHandler("made", LogLevel::error);
    });
    EXPECT_EQ(seenLabel, "two");
    EXPECT_EQ(seenProvider, "<absent>");
    EXPECT_EQ(twoArguments.logLevel(), LogLevel::error);
}

// Runs in the child: reports each mismatch and exits 0 only when all hold.
[[noreturn]] void checkBootstrapWithProvider() {
    int failures = 0;
    auto expect = [&](bool holds, const char* what) {
        if (holds) return;
        std::fprintf(stderr, "not so: %s\n", what);
        ++failures;
    };

    std::string factoryProvider;
    LoggingSystem::bootstrap(
        [&](const std::string&, const std::optional<MetadataProvider>& provider) {
            factoryProvider = providerValue(provider);
            return RecordingLogHandler("bootstrapped", LogLevel::notice);
        },
        providingValue("P"));

    Logger fromLabel("label");
    expect(factoryProvider == "P", "Logger(label) passes the process-wide provider to the factory");
    expect(fromLabel.logLevel() == LogLevel::notice, "Logger(label) uses the bootstrapped factory");
    expect(providerValue(StreamLogHandler::standardError("e").metadataProvider()) == "P",
           "standardError(label) carries the process-wide provider");
    expect(providerValue(StreamLogHandler::standardOutput("o").metadataProvider()) == "P",
           "standardOutput(label) carries the process-wide provider");

    Logger withProvider("label", providingValue("Q"));
    expect(factoryProvider == "Q", "Logger(label, provider) passes its own provider to the factory");
    expect(providerValue(withProvider.metadataProvider()) == "Q", "Logger(label, provider) sets it on the handler");

    Logger oneArgument("label", [](const std::string&) { return RecordingLogHandler("own", LogLevel::trace); });
    expect(oneArgument.logLevel() == LogLevel::trace, "Logger(label, factory) ignores the bootstrapped factory");

    std::exit(failures == 0 ? 0 : 1);
}

TEST(LoggingSystemDeathTest, BootstrapWithProviderReachesEveryLaterLogger) {
    EXPECT_EXIT(checkBootstrapWithProvider(), ::testing::ExitedWithCode(0), "");
}

[[noreturn]] void checkBootstrapWithoutProvider() {
    Logger before("before");
    LoggingSystem::bootstrap([](const std::string&) { return RecordingLogHandler("bootstrapped", LogLevel::error); });
    Logger after("after");
    bool holds = before.logLevel() == LogLevel::info && after.logLevel() == LogLevel::error &&
                 !LoggingSystem::metadataProvider().has_value();
    std::exit(holds ? 0 : 1);
}

TEST(LoggingSystemDeathTest, BootstrapReachesOnlyLaterLoggers) {
    EXPECT_EXIT(checkBootstrapWithoutProvider(), ::testing::ExitedWithCode(0), "");
}

TEST(LoggingSystemDeathTest, SecondBootstrapStopsTheProcess) {
    auto factory = [](const std::string&) { return RecordingLogHandler("r"); };
    auto factoryWithProvider = [](const std::string&, const std::optional<MetadataProvider>&) {
        return RecordingLogHandler("r");
    };
    EXPECT_DEATH(
        {
            LoggingSystem::bootstrap(factory);
            LoggingSystem::bootstrap(factory);
        },
        "logging system can only be initialized once per process\\.");
    EXPECT_DEATH(
        {
            LoggingSystem::bootstrap(factory);
            LoggingSystem::bootstrap(factoryWithProvider, std::nullopt);
        },
        "logging system can only be initialized once per process\\.");
}

}  // namespace
}  // namespace lumenary::logging
