#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/tools/tool_arguments.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::app {
namespace {

// Each reader answers only for its own kind; everything else reads as a
// missing argument. "number" alone takes two kinds.
TEST(ToolArguments, ReadOnlyValuesOfTheExpectedKind) {
    struct Case {
        const char* json;
        std::optional<std::string> text;
        std::optional<std::int64_t> integer;
        std::optional<bool> boolean;
        std::optional<double> number;
    };
    const std::vector<Case> cases = {
        {R"("Work")", "Work", std::nullopt, std::nullopt, std::nullopt},
        {R"("")", "", std::nullopt, std::nullopt, std::nullopt},
        {R"("12")", "12", std::nullopt, std::nullopt, std::nullopt},
        {R"("true")", "true", std::nullopt, std::nullopt, std::nullopt},
        // A text that happens to be a data URL is still the client's text.
        {R"("data:,hello")", "data:,hello", std::nullopt, std::nullopt, std::nullopt},
        {"12", std::nullopt, 12, std::nullopt, 12.0},
        {"-3", std::nullopt, -3, std::nullopt, -3.0},
        {"2.5", std::nullopt, std::nullopt, std::nullopt, 2.5},
        // Only the call path turns a whole double into an integer.
        {"12.0", std::nullopt, std::nullopt, std::nullopt, 12.0},
        {"true", std::nullopt, std::nullopt, true, std::nullopt},
        {"false", std::nullopt, std::nullopt, false, std::nullopt},
        {"null", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {"[1]", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {R"({"a":1})", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& [json, text, integer, boolean, number] : cases) {
        const PlainDictionary arguments = {{"key", mcp::parseJSON(json)}};
        EXPECT_EQ(textArgument(arguments, "key"), text) << json;
        EXPECT_EQ(integerArgument(arguments, "key"), integer) << json;
        EXPECT_EQ(booleanArgument(arguments, "key"), boolean) << json;
        EXPECT_EQ(numberArgument(arguments, "key"), number) << json;

        EXPECT_EQ(textArgument(arguments, "other"), std::nullopt) << json;
        EXPECT_EQ(integerArgument(arguments, "other"), std::nullopt) << json;
        EXPECT_EQ(booleanArgument(arguments, "other"), std::nullopt) << json;
        EXPECT_EQ(numberArgument(arguments, "other"), std::nullopt) << json;
    }
}

// A list of texts counts only when every element is a text.
TEST(ToolArguments, ReadATextListOnlyWhenEveryElementIsAText) {
    struct Case {
        const char* json;
        std::optional<std::vector<std::string>> texts;
    };
    const std::vector<Case> cases = {
        {"[]", std::vector<std::string>{}},
        {R"(["en-US", "data:,zh", ""])", std::vector<std::string>{"en-US", "data:,zh", ""}},
        {R"(["en-US", 1])", std::nullopt},
        {R"(["en-US", null])", std::nullopt},
        {R"([["en-US"]])", std::nullopt},
        {R"("en-US")", std::nullopt},
        {R"({"0": "en-US"})", std::nullopt},
    };
    for (const auto& [json, texts] : cases) {
        EXPECT_EQ(textListArgument({{"key", mcp::parseJSON(json)}}, "key"), texts) << json;
    }
    EXPECT_EQ(textListArgument({}, "key"), std::nullopt);
}

}  // namespace
}  // namespace lumenary::app
