#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "mcp/core/decoder.hpp"

namespace lumenary::mcp {

// The one error of every MCP component. Each case maps to a JSON-RPC error
// code and travels as the error object {code, message, data?} of a reply.
class MCPError : public std::exception {
public:
    enum class Case {
        parseError,
        invalidRequest,
        methodNotFound,
        invalidParams,
        internalError,
        serverError,
        transportError,
        connectionClosed,
    };

    static MCPError parseError(std::optional<std::string> detail = std::nullopt);
    static MCPError invalidRequest(std::optional<std::string> detail = std::nullopt);
    static MCPError methodNotFound(std::optional<std::string> detail = std::nullopt);
    static MCPError invalidParams(std::optional<std::string> detail = std::nullopt);
    static MCPError internalError(std::optional<std::string> detail = std::nullopt);
    static MCPError serverError(std::int64_t code, std::string message);
    // Wraps a failure of the channel under a transport (a system error, say).
    static MCPError transportError(std::exception_ptr underlying);
    static MCPError connectionClosed();

    Case errorCase() const noexcept { return case_; }
    std::int64_t code() const noexcept;
    // The detail of the first five cases (present even when empty), or the
    // message of a server error.
    const std::optional<std::string>& detail() const noexcept { return text_; }
    const std::exception_ptr& underlyingError() const noexcept { return underlying_; }

    // The fixed text of the case, plus ": " and the detail when present.
    std::string errorDescription() const;
    std::string failureReason() const;
    std::optional<std::string> recoverySuggestion() const;
    // "[<code>] <errorDescription>", plus the underlying error for transport errors.
    std::string debugDescription() const;
    const char* what() const noexcept override { return description_.c_str(); }

    // Errors compare by code alone, so they hash by code alone.
    friend bool operator==(const MCPError& left, const MCPError& right) noexcept { return left.code() == right.code(); }
    std::size_t hash() const noexcept;

private:
    MCPError(Case errorCase, std::optional<std::string> text, std::int64_t serverCode = 0,
             std::exception_ptr underlying = nullptr);

    Case case_;
    std::optional<std::string> text_;
    std::int64_t serverCode_;
    std::exception_ptr underlying_;
    std::string description_;
};

// The error a decoded -32001 reply carries: the peer's description of its
// transport failure, in a domain of its own.
class RemoteTransportError : public std::exception {
public:
    static constexpr const char* domain = "org.lumenary.jsonrpc";
    static constexpr std::int64_t code = -32001;

    explicit RemoteTransportError(std::string description) : description_(std::move(description)) {}
    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::string description_;
};

// The text an error shows to a person: `what()` of a standard exception.
std::string localizedDescription(const std::exception_ptr& error);
// The failure as it travels in a reply: an MCPError as it is, anything else
// as an internal error carrying its description.
MCPError asMCPError(const std::exception_ptr& failure);
// The error's dynamic type and text, for debug output.
std::string debugReflection(const std::exception_ptr& error);

// True for the system's "resource temporarily unavailable" (EAGAIN), which
// non-blocking reads and writes meet and retry.
bool isResourceTemporarilyUnavailable(const std::exception_ptr& error);

template <>
struct Coder<MCPError> {
    static Value encode(const MCPError& error);
    static MCPError decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp

template <>
struct std::hash<lumenary::mcp::MCPError> {
    std::size_t operator()(const lumenary::mcp::MCPError& error) const noexcept { return error.hash(); }
};
