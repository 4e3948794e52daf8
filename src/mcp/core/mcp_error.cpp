#include "mcp/core/mcp_error.hpp"

#include <cxxabi.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <typeinfo>

#include "mcp/core/coders.hpp"
#include "system/hasher.hpp"

namespace lumenary::mcp {

namespace {

struct CaseTexts {
    std::int64_t code;
    const char* description;
    const char* failureReason;
    const char* recoverySuggestion;
};

// Indexed by MCPError::Case; serverError and transportError build their own
// descriptions and reasons.
constexpr CaseTexts caseTexts[] = {
    {-32700, "Parse error: Invalid JSON", "The server received invalid JSON that could not be parsed",
     "Verify that the JSON being sent is valid and well-formed"},
    {-32600, "Invalid Request", "The JSON sent is not a valid Request object",
     "Ensure the request follows the JSON-RPC 2.0 specification format"},
    {-32601, "Method not found", "The method does not exist or is not available",
     "Check the method name and ensure it is supported by the server"},
    {-32602, "Invalid params", "Invalid method parameter(s)",
     "Verify the parameters match the method's expected parameters"},
    {-32603, "Internal error", "Internal JSON-RPC error", nullptr},
    {0, "Server error", "Server-defined error occurred", nullptr},
    {-32001, "Transport error", nullptr, nullptr},
    {-32000, "Connection closed", "The connection to the server was closed", "Try reconnecting to the server"},
};

const CaseTexts& textsOf(MCPError::Case errorCase) {
    return caseTexts[static_cast<int>(errorCase)];
}

bool hasDetail(MCPError::Case errorCase) {
    return static_cast<int>(errorCase) <= 4;
}

std::string demangledTypeName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> name(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                     &std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

}  // namespace

MCPError::MCPError(Case errorCase, std::optional<std::string> text, std::int64_t serverCode,
                   std::exception_ptr underlying)
    : case_(errorCase), text_(std::move(text)), serverCode_(serverCode), underlying_(std::move(underlying)) {
    description_ = errorDescription();
}

MCPError MCPError::parseError(std::optional<std::string> detail) {
    return {Case::parseError, std::move(detail)};
}
MCPError MCPError::invalidRequest(std::optional<std::string> detail) {
    return {Case::invalidRequest, std::move(detail)};
}
MCPError MCPError::methodNotFound(std::optional<std::string> detail) {
    return {Case::methodNotFound, std::move(detail)};
}
MCPError MCPError::invalidParams(std::optional<std::string> detail) {
    return {Case::invalidParams, std::move(detail)};
}
MCPError MCPError::internalError(std::optional<std::string> detail) {
    return {Case::internalError, std::move(detail)};
}
MCPError MCPError::serverError(std::int64_t code, std::string message) {
    return {Case::serverError, std::move(message), code};
}
MCPError MCPError::transportError(std::exception_ptr underlying) {
    return {Case::transportError, std::nullopt, 0, std::move(underlying)};
}
MCPError MCPError::connectionClosed() {
    return {Case::connectionClosed, std::nullopt};
}

std::int64_t MCPError::code() const noexcept {
    return case_ == Case::serverError ? serverCode_ : textsOf(case_).code;
}

std::string MCPError::errorDescription() const {
    switch (case_) {
        case Case::serverError: return "Server error: " + text_.value_or("");
        case Case::transportError: return "Transport error: " + localizedDescription(underlying_);
        case Case::connectionClosed: return textsOf(case_).description;
        default: break;
    }
    std::string description = textsOf(case_).description;
    if (text_) {
        description += ": " + *text_;
    }
    return description;
}

std::string MCPError::failureReason() const {
    if (case_ != Case::transportError) {
        return textsOf(case_).failureReason;
    }
    try {
        if (underlying_) std::rethrow_exception(underlying_);
    } catch (const MCPError& underlying) {
        return underlying.failureReason();
    } catch (...) {
    }
    return localizedDescription(underlying_);
}

std::optional<std::string> MCPError::recoverySuggestion() const {
    const char* suggestion = textsOf(case_).recoverySuggestion;
    return suggestion ? std::optional<std::string>(suggestion) : std::nullopt;
}

std::string MCPError::debugDescription() const {
    // Appended piece by piece: GCC 12 at -O3 misreads a chain of `+` on a
    // temporary as an overflowing copy.
    std::string text = "[";
    text += std::to_string(code());
    text += "] ";
    text += errorDescription();
    if (case_ == Case::transportError) {
        text += " (Underlying error: ";
        text += debugReflection(underlying_);
        text += ")";
    }
    return text;
}

std::size_t MCPError::hash() const noexcept {
    system::Hasher hasher;
    hasher.combine(static_cast<std::uint64_t>(code()));
    return hasher.finalize();
}

MCPError asMCPError(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const MCPError& error) {
        return error;
    } catch (...) {
        return MCPError::internalError(localizedDescription(failure));
    }
}

std::string localizedDescription(const std::exception_ptr& error) {
    if (!error) {
        return "Unknown error";
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return exception.what();
    } catch (...) {
        return "Unknown error";
    }
}

std::string debugReflection(const std::exception_ptr& error) {
    if (!error) {
        return "nil";
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return demangledTypeName(typeid(exception)) + "(\"" + exception.what() + "\")";
    } catch (...) {
        return "unknown error";
    }
}

bool isResourceTemporarilyUnavailable(const std::exception_ptr& error) {
    if (!error) {
        return false;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::system_error& systemError) {
        const auto& category = systemError.code().category();
        return systemError.code().value() == EAGAIN &&
               (category == std::generic_category() || category == std::system_category());
    } catch (...) {
        return false;
    }
}

Value Coder<MCPError>::encode(const MCPError& error) {
    ObjectEncoder object;
    object.set("code", error.code()).set("message", error.errorDescription());
    if (error.errorCase() == MCPError::Case::transportError) {
        object.set("data", Value::object({{"error", localizedDescription(error.underlyingError())}}));
    } else if (hasDetail(error.errorCase()) && error.detail()) {
        object.set("data", Value::object({{"detail", *error.detail()}}));
    }
    return object.finish();
}

MCPError Coder<MCPError>::decode(const Decoder& decoder) {
    const auto code = decoder.decode<std::int64_t>("code");
    auto message = decoder.decode<std::string>("message");
    const auto data = decoder.decodeIfPresent<Value>("data");
    if (data && data->objectValue() == nullptr) {
        decoder.member("data").failTypeMismatch("an object");
    }

    // A member of "data" counts only when it is a string.
    const auto dataText = [&](std::string_view key) -> std::optional<std::string> {
        const Value* member = data ? data->find(key) : nullptr;
        return member ? jsonText(*member) : std::nullopt;
    };
    const auto detailOrMessage = [&] { return dataText("detail").value_or(message); };

    switch (code) {
        case -32700: return MCPError::parseError(detailOrMessage());
        case -32600: return MCPError::invalidRequest(detailOrMessage());
        case -32601: return MCPError::methodNotFound(detailOrMessage());
        case -32602: return MCPError::invalidParams(detailOrMessage());
        case -32603: return MCPError::internalError(dataText("detail"));
        case -32001:
            return MCPError::transportError(
                std::make_exception_ptr(RemoteTransportError(dataText("error").value_or(message))));
        case -32000: return MCPError::connectionClosed();
        default: return MCPError::serverError(code, std::move(message));
    }
}

}  // namespace lumenary::mcp
