#include "app/http/loopback_acceptors.hpp"

#include <linux/filter.h>
#include <sys/socket.h>

#include <array>

#include <asio/detail/socket_option.hpp>
#include <asio/ip/v6_only.hpp>

#include "async/close_on_exec_socket.hpp"

namespace lumenary::http {

namespace {

using asio::ip::tcp;
using ReusePort = asio::detail::socket_option::boolean<SOL_SOCKET, SO_REUSEPORT>;
using Acceptors = std::vector<std::shared_ptr<tcp::acceptor>>;

std::shared_ptr<tcp::acceptor> openAcceptor(const asio::any_io_executor& executor, const tcp::endpoint& endpoint,
                                            bool sharesPort) {
    auto acceptor = std::make_shared<tcp::acceptor>(executor);
    async::openCloseOnExec(*acceptor, endpoint.protocol());
    acceptor->set_option(tcp::acceptor::reuse_address(true));
    if (sharesPort) {
        acceptor->set_option(ReusePort(true));
    }
    if (endpoint.protocol() == tcp::v6()) {
        acceptor->set_option(asio::ip::v6_only(true));
    }
    acceptor->bind(endpoint);
    return acceptor;
}

// Throws unless the port is free of every other listener: a socket that lets
// others share its port would otherwise share it with this one's group.
void ensurePortIsFree(const asio::any_io_executor& executor, const tcp::endpoint& endpoint) {
    openAcceptor(executor, endpoint, false)->close();
}

// Has the system give a new connection to the socket of the thread with the
// index of the CPU it was made on (modulo the group's size). A client on
// this machine makes its connections from the CPU it runs on, so it keeps
// reaching the thread that holds its session. Without it (an older system)
// the system picks by the connection's addresses, which only costs hops.
void steerByCPU(tcp::acceptor& first, std::size_t groupSize) {
    std::array<sock_filter, 3> program{{
        {BPF_LD | BPF_W | BPF_ABS, 0, 0, static_cast<std::uint32_t>(SKF_AD_OFF + SKF_AD_CPU)},
        {BPF_ALU | BPF_MOD | BPF_K, 0, 0, static_cast<std::uint32_t>(groupSize)},
        {BPF_RET | BPF_A, 0, 0, 0},
    }};
    sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    ::setsockopt(first.native_handle(), SOL_SOCKET, SO_ATTACH_REUSEPORT_CBPF, &filter, sizeof filter);
}

void closeAll(Acceptors& acceptors) {
    for (const auto& acceptor : acceptors) {
        asio::error_code ignored;
        acceptor->close(ignored);
    }
    acceptors.clear();
}

// One listening socket per executor on `endpoint`, in the executors' order.
Acceptors listenGroup(const std::vector<asio::any_io_executor>& executors, tcp::endpoint endpoint) {
    if (endpoint.port() != 0) {
        ensurePortIsFree(executors.front(), endpoint);
    }
    Acceptors group;
    try {
        for (const auto& executor : executors) {
            group.push_back(openAcceptor(executor, endpoint, true));
            // The system's choice of port holds for the rest of the group.
            endpoint.port(group.front()->local_endpoint().port());
        }
        for (const auto& acceptor : group) {
            acceptor->listen();
        }
    } catch (...) {
        closeAll(group);
        throw;
    }
    if (group.size() > 1) {
        steerByCPU(*group.front(), group.size());
    }
    return group;
}

}  // namespace

LoopbackAcceptors listenOnLoopback(const std::vector<asio::any_io_executor>& executors, std::uint16_t preferredPort) {
    // Loopback only: on any other interface, anybody on the network could
    // call every tool.
    LoopbackAcceptors result;
    result.acceptors = listenGroup(executors, tcp::endpoint(asio::ip::address_v4::loopback(), preferredPort));
    result.port = result.acceptors.front()->local_endpoint().port();
    try {
        auto v6 = listenGroup(executors, tcp::endpoint(asio::ip::address_v6::loopback(), result.port));
        result.acceptors.insert(result.acceptors.end(), v6.begin(), v6.end());
    } catch (const asio::system_error&) {
        // No IPv6 here, or its loopback port is taken: IPv4 serves alone.
    }
    return result;
}

}  // namespace lumenary::http
