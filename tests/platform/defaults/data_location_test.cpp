#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/defaults/data_location.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "support/scoped_environment.hpp"

namespace lumenary::platform {
namespace {

using mcp::Value;

constexpr const char* dataDirVariable = "LUMENARY_TEST_DATA_DIR";
constexpr const char* key = "testDataDirectory";

TEST(DataLocation, TakesTheVariableThenTheDefaultsKeyThenTheXDGFolderThenHome) {
    struct Case {
        const char* name;
        std::optional<std::string> environmentValue;
        std::optional<Value> defaultsValue;
        std::optional<std::string> xdgDataHome;
        std::optional<std::string> home;
        std::optional<std::string> configured;
        std::string location;
    };
    const std::vector<Case> cases = {
        {"the variable wins", "/env/cal", Value("/defaults/cal"), "/xdg", "/home/u", "/env/cal", "/env/cal"},
        {"an empty variable is not set", "", Value("/defaults/cal"), "/xdg", "/home/u", "/defaults/cal",
         "/defaults/cal"},
        {"the defaults key next", std::nullopt, Value("/defaults/cal"), "/xdg", "/home/u", "/defaults/cal",
         "/defaults/cal"},
        {"an empty defaults text is not set", std::nullopt, Value(""), "/xdg", "/home/u", std::nullopt,
         "/xdg/calendars"},
        {"a defaults value that is not text is not set", std::nullopt, Value(7), "/xdg", "/home/u", std::nullopt,
         "/xdg/calendars"},
        {"the XDG folder next", std::nullopt, std::nullopt, "/xdg", "/home/u", std::nullopt, "/xdg/calendars"},
        {"a relative XDG folder is ignored", std::nullopt, std::nullopt, "xdg", "/home/u", std::nullopt,
         "/home/u/.local/share/calendars"},
        {"an empty XDG folder is ignored", std::nullopt, std::nullopt, "", "/home/u", std::nullopt,
         "/home/u/.local/share/calendars"},
        {"home last", std::nullopt, std::nullopt, std::nullopt, "/home/u", std::nullopt,
         "/home/u/.local/share/calendars"},
        {"~/ in the variable is home", "~/cal", std::nullopt, "/xdg", "/home/u", "/home/u/cal", "/home/u/cal"},
        {"~/ in the defaults is home", std::nullopt, Value("~/Calendars"), "/xdg", "/home/u", "/home/u/Calendars",
         "/home/u/Calendars"},
        {"~ inside a path is a name", "/srv/~/cal", std::nullopt, "/xdg", "/home/u", "/srv/~/cal", "/srv/~/cal"},
    };
    for (const auto& testCase : cases) {
        lumenary::testing::ScopedEnvironment environment;
        environment.set(dataDirVariable, testCase.environmentValue);
        environment.set("XDG_DATA_HOME", testCase.xdgDataHome);
        environment.set("HOME", testCase.home);
        MemoryDefaultsStore defaults;
        if (testCase.defaultsValue) {
            defaults.set(key, *testCase.defaultsValue);
        }
        const auto configured = configuredDataLocation(dataDirVariable, key, defaults);
        EXPECT_EQ(configured ? std::optional(configured->string()) : std::nullopt, testCase.configured)
            << testCase.name;
        EXPECT_EQ(dataLocation(dataDirVariable, key, defaults, "calendars").string(), testCase.location)
            << testCase.name;
    }
}

// Without $HOME (a service started with a bare environment) the password
// database still knows the user's home.
TEST(DataLocation, FindsHomeWithoutTheHomeVariable) {
    lumenary::testing::ScopedEnvironment environment;
    environment.set(dataDirVariable, std::nullopt);
    environment.set("XDG_DATA_HOME", std::nullopt);
    environment.set("HOME", std::nullopt);
    const MemoryDefaultsStore defaults;
    const auto location = dataLocation(dataDirVariable, key, defaults, "calendars");
    EXPECT_TRUE(location.is_absolute()) << location;
    EXPECT_EQ(location.filename(), "calendars");
    EXPECT_EQ(location.parent_path().filename(), "share");
}

}  // namespace
}  // namespace lumenary::platform
