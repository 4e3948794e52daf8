#include <gtest/gtest.h>

#include "mcp/core/handshake.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/log_level_coding.hpp"
#include "mcp/core/version.hpp"

namespace lumenary::mcp {
namespace {

Initialize::Parameters parameters(std::string_view text) {
    return decodeValue<Initialize::Parameters>(parseJSON(text));
}

TEST(InitializeParameters, MissingOrNullKeysTakeDefaults) {
    for (const char* text : {"{}", R"({"protocolVersion":null,"clientInfo":null,"capabilities":null,"x":1})"}) {
        const auto decoded = parameters(text);
        EXPECT_EQ(decoded.protocolVersion, "2025-03-26") << text;
        EXPECT_EQ(decoded.capabilities, ClientCapabilities{}) << text;
        EXPECT_EQ(decoded.clientInfo.name, "unknown") << text;
        EXPECT_EQ(decoded.clientInfo.version, "0.0.0") << text;
    }
    EXPECT_EQ(parameters(R"({"protocolVersion":"1999-01-01"})").protocolVersion, "1999-01-01");
}

TEST(InitializeParameters, PresentValuesOfTheWrongShapeFail) {
    for (const char* text : {R"({"clientInfo":{"name":"c"}})", R"({"protocolVersion":20250326})",
                             R"({"capabilities":[]})", R"("params")"}) {
        EXPECT_THROW(parameters(text), DecodingError) << text;
    }
}

TEST(InitializeParameters, WritesEveryKey) {
    const Initialize::Parameters written{"2024-11-05", ClientCapabilities{}, ClientInfo{"c", "1"}};
    EXPECT_EQ(writeJSON(encodeValue(written)),
              R"({"capabilities":{},"clientInfo":{"name":"c","version":"1"},"protocolVersion":"2024-11-05"})");
}

TEST(InitializeResult, InstructionsOnlyWhenPresent) {
    ServerCapabilities capabilities;
    capabilities.tools = ServerCapabilities::Tools{true};
    Initialize::Result result{"2025-03-26", capabilities, ServerInfo{"s", "1.0.0"}, std::nullopt};
    EXPECT_EQ(writeJSON(encodeValue(result)),
              R"({"capabilities":{"tools":{"listChanged":true}},"protocolVersion":"2025-03-26",)"
              R"("serverInfo":{"name":"s","version":"1.0.0"}})");
    result.instructions = "";
    EXPECT_EQ(decodeValue<Initialize::Result>(encodeValue(result)), result);
    EXPECT_NE(writeJSON(encodeValue(result)).find(R"("instructions":"")"), std::string::npos);
    EXPECT_THROW(decodeValue<Initialize::Result>(parseJSON(R"({"protocolVersion":"x","capabilities":{}})")),
                 DecodingError);
}

}  // namespace
}  // namespace lumenary::mcp

namespace lumenary::mcp {
namespace {

TEST(LogLevelCoding, TravelsAsItsExactName) {
    EXPECT_EQ(writeJSON(encodeValue(logging::LogLevel::warning)), R"("warning")");
    EXPECT_EQ(decodeValue<logging::LogLevel>(parseJSON(R"("critical")")), logging::LogLevel::critical);
    for (const char* text : {R"("WARNING")", R"("warn")", "3"}) {
        EXPECT_THROW(decodeValue<logging::LogLevel>(parseJSON(text)), DecodingError) << text;
    }
}

}  // namespace
}  // namespace lumenary::mcp
