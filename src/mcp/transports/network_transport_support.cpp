#include "mcp/transports/network_transport_support.hpp"

#include <asio/error.hpp>

#include "mcp/core/mcp_error.hpp"

namespace lumenary::mcp::network_transport {

std::string errorText(const std::error_code& error) {
    return error.message();
}

std::string errorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const MCPError& failure) {
        return failure.debugDescription();
    } catch (const std::exception& failure) {
        return failure.what();
    } catch (...) {
        return "unknown error";
    }
}

bool isBrokenConnectionError(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::system_error& failure) {
        const auto& code = failure.code();
        return code == std::errc::broken_pipe || code == std::errc::connection_reset ||
               code == std::errc::not_connected || code == std::errc::connection_aborted ||
               code == asio::error::eof;
    } catch (...) {
        return false;
    }
}

}  // namespace lumenary::mcp::network_transport
