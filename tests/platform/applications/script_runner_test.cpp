#include <gtest/gtest.h>

#include "platform/applications/script_runner.hpp"

namespace lumenary::platform {
namespace {

TEST(UnavailableScriptRunner, EveryRunFailsSayingScriptsAreNotAvailableHere) {
    const std::string expected = "Running scripts in desktop applications is not available on this platform.";
    UnavailableScriptRunner runner;
    for (const std::string source : {"", "show event \"42\"", "return 1"}) {
        const auto result = runner.run(source);
        EXPECT_EQ(result.kind, ScriptRunResult::Kind::failed) << source;
        EXPECT_EQ(result.errorMessage, expected) << source;
        EXPECT_EQ(result.errorDescription, expected) << source;
        EXPECT_FALSE(result.resultText.has_value()) << source;
    }
}

TEST(EscapedForScriptString, PutsABackslashBeforeEachBackslashAndDoubleQuote) {
    struct Case {
        std::string value;
        std::string escaped;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"Team meeting", "Team meeting"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"C:\\notes", "C:\\\\notes"},
        {"\\\"", "\\\\\\\""},
        // Text that would end the string and splice in a command of its own.
        {"\" & quit & \"", "\\\" & quit & \\\""},
        {"line\nbreak 'single' caf\xc3\xa9", "line\nbreak 'single' caf\xc3\xa9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(escapedForScriptString(c.value), c.escaped) << c.value;
    }
}

}  // namespace
}  // namespace lumenary::platform
