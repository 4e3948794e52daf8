#include <gtest/gtest.h>

#include <cerrno>
#include <system_error>

#include "mcp/core/json.hpp"
#include "mcp/core/mcp_error.hpp"

namespace lumenary::mcp {
namespace {

std::string encoded(const MCPError& error) {
    return writeJSON(encodeValue(error));
}
MCPError decoded(std::string_view text) {
    return decodeValue<MCPError>(parseJSON(text));
}

TEST(MCPErrorTexts, DescriptionsCodesAndEncodings) {
    struct Case {
        MCPError error;
        std::int64_t code;
        std::string description;
        std::string json;
    };
    const Case cases[] = {
        {MCPError::parseError(), -32700, "Parse error: Invalid JSON",
         R"({"code":-32700,"message":"Parse error: Invalid JSON"})"},
        {MCPError::invalidRequest("x"), -32600, "Invalid Request: x",
         R"({"code":-32600,"data":{"detail":"x"},"message":"Invalid Request: x"})"},
        {MCPError::methodNotFound("Unknown method: a/b"), -32601, "Method not found: Unknown method: a/b",
         R"({"code":-32601,"data":{"detail":"Unknown method: a/b"},"message":"Method not found: Unknown method: a/b"})"},
        {MCPError::invalidParams(""), -32602,
         "Invalid params: ", R"({"code":-32602,"data":{"detail":""},"message":"Invalid params: "})"},
        {MCPError::internalError(), -32603, "Internal error", R"({"code":-32603,"message":"Internal error"})"},
        {MCPError::serverError(42, "M"), 42, "Server error: M", R"({"code":42,"message":"Server error: M"})"},
        {MCPError::connectionClosed(), -32000, "Connection closed", R"({"code":-32000,"message":"Connection closed"})"},
        {MCPError::transportError(std::make_exception_ptr(std::runtime_error("pipe broke"))), -32001,
         "Transport error: pipe broke",
         R"({"code":-32001,"data":{"error":"pipe broke"},"message":"Transport error: pipe broke"})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.code(), c.code);
        EXPECT_EQ(c.error.errorDescription(), c.description);
        EXPECT_STREQ(c.error.what(), c.description.c_str());
        EXPECT_EQ(encoded(c.error), c.json);
    }
}

TEST(MCPErrorTexts, ReasonsAndSuggestions) {
    EXPECT_EQ(MCPError::invalidParams().failureReason(), "Invalid method parameter(s)");
    EXPECT_EQ(MCPError::connectionClosed().recoverySuggestion(), "Try reconnecting to the server");
    EXPECT_EQ(MCPError::internalError().recoverySuggestion(), std::nullopt);
    EXPECT_EQ(MCPError::invalidParams("D").debugDescription(), "[-32602] Invalid params: D");
    EXPECT_EQ(MCPError::serverError(42, "M").debugDescription(), "[42] Server error: M");
    const auto transport = MCPError::transportError(std::make_exception_ptr(MCPError::connectionClosed()));
    EXPECT_EQ(transport.failureReason(), "The connection to the server was closed");
    EXPECT_TRUE(transport.debugDescription().starts_with(
        "[-32001] Transport error: Connection closed (Underlying error: lumenary::mcp::MCPError"));
}

TEST(MCPErrorDecoding, ChoosesTheCaseByCode) {
    // The message survives only as the fallback detail.
    const auto parse = decoded(R"({"code":-32700,"message":"Parse error: Invalid JSON"})");
    EXPECT_EQ(parse.errorDescription(), "Parse error: Invalid JSON: Parse error: Invalid JSON");
    EXPECT_EQ(decoded(R"({"code":-32602,"message":"M","data":{"detail":5}})").detail(), "M");
    EXPECT_EQ(decoded(R"({"code":-32603,"message":"M"})").detail(), std::nullopt);
    EXPECT_EQ(decoded(R"({"code":-32603,"message":"M","data":{"detail":"D"}})").detail(), "D");
    EXPECT_EQ(decoded(R"({"code":42,"message":"M","data":{"detail":"D"}})").errorDescription(), "Server error: M");
    EXPECT_EQ(decoded(R"({"code":-32000,"message":"whatever","data":{"error":"x"}})").errorCase(),
              MCPError::Case::connectionClosed);
    const auto method = decoded(encoded(MCPError::serverError(-32601, "M")));
    EXPECT_EQ(method.errorCase(), MCPError::Case::methodNotFound);
    EXPECT_EQ(method.detail(), "Server error: M");
}

TEST(MCPErrorDecoding, TransportErrorsKeepThePeersText) {
    const auto withData = R"({"code":-32001,"data":{"error":"T"},"message":"Transport error: T"})";
    EXPECT_EQ(encoded(decoded(withData)), withData);
    EXPECT_EQ(decoded(R"({"code":-32001,"message":"Transport error: T"})").errorDescription(),
              "Transport error: Transport error: T");
}

TEST(MCPErrorDecoding, RoundTripsInternalErrors) {
    for (const auto& error : {MCPError::internalError(), MCPError::internalError("why")}) {
        const auto back = decoded(encoded(error));
        EXPECT_EQ(back.detail(), error.detail());
        EXPECT_EQ(back.errorDescription(), error.errorDescription());
    }
}

TEST(MCPErrorDecoding, RejectsMalformedObjects) {
    for (const char* text :
         {R"({"message":"M"})", R"({"code":1})", R"({"code":"1","message":"M"})", R"({"code":1.5,"message":"M"})",
          R"({"code":1,"message":2})", R"({"code":1,"message":"M","data":"x"})", R"([])"}) {
        EXPECT_THROW(decoded(text), DecodingError) << text;
    }
    EXPECT_NO_THROW(decoded(R"({"code":1,"message":"M","data":null})"));
}

TEST(MCPErrorIdentity, ComparesAndHashesByCode) {
    EXPECT_EQ(MCPError::invalidParams("a"), MCPError::invalidParams("b"));
    EXPECT_EQ(MCPError::parseError(), MCPError::serverError(-32700, "x"));
    EXPECT_EQ(MCPError::parseError().hash(), MCPError::serverError(-32700, "x").hash());
    EXPECT_NE(MCPError::parseError(), MCPError::invalidRequest());
}

TEST(ResourceTemporarilyUnavailable, OnlyForTheSystemsEAGAIN) {
    EXPECT_TRUE(
        isResourceTemporarilyUnavailable(std::make_exception_ptr(std::system_error(EAGAIN, std::generic_category()))));
    EXPECT_FALSE(
        isResourceTemporarilyUnavailable(std::make_exception_ptr(std::system_error(EPIPE, std::generic_category()))));
    EXPECT_FALSE(isResourceTemporarilyUnavailable(std::make_exception_ptr(MCPError::internalError())));
    EXPECT_FALSE(isResourceTemporarilyUnavailable(nullptr));
}

}  // namespace
}  // namespace lumenary::mcp
