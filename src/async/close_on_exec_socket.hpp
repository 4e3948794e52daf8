#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include <asio/error.hpp>

namespace lumenary::async {

// Opens `socket` (an asio socket or acceptor, closed) for `protocol` with
// the descriptor close-on-exec from its first instant. asio's own open()
// leaves the flag off, so every child started meanwhile, on any thread,
// would inherit the socket: a listening port then outlives our closing it.
template <typename Socket>
void openCloseOnExec(Socket& socket, const typename Socket::protocol_type& protocol, std::error_code& error) {
    const int descriptor = ::socket(protocol.family(), protocol.type() | SOCK_CLOEXEC, protocol.protocol());
    if (descriptor < 0) {
        error = std::error_code(errno, asio::error::get_system_category());
        return;
    }
    socket.assign(protocol, descriptor, error);
    if (error) {
        ::close(descriptor);
    }
}

template <typename Socket>
void openCloseOnExec(Socket& socket, const typename Socket::protocol_type& protocol) {
    std::error_code error;
    openCloseOnExec(socket, protocol, error);
    if (error) {
        throw std::system_error(error, "socket");
    }
}

}  // namespace lumenary::async
