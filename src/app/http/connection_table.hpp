#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <asio/awaitable.hpp>

#include "app/http/http_connection.hpp"
#include "async/one_shot.hpp"

namespace lumenary::http {

// The open connections of a listener, at most so many at once: accepting
// waits for a free slot, and a connection frees its slot when it ends, on
// whichever thread that happens.
//
// Its state sits under its mutex, held for a few steps at a time and never
// across a suspension.
class ConnectionTable {
public:
    explicit ConnectionTable(std::size_t maximumConnections) : maximumConnections_(maximumConnections) {}

    ConnectionTable(const ConnectionTable&) = delete;
    ConnectionTable& operator=(const ConnectionTable&) = delete;

    // Returns once fewer than the maximum are open.
    asio::awaitable<void> waitForSlot();
    void add(std::uint64_t number, const std::shared_ptr<HTTPConnection>& connection);
    void remove(std::uint64_t number);
    // Closes every open connection; each frees its slot as it ends.
    void closeAll();

private:
    const std::size_t maximumConnections_;

    std::mutex mutex_;
    std::map<std::uint64_t, std::weak_ptr<HTTPConnection>> connections_;
    std::vector<async::OneShot<void>> slotWaiters_;
};

}  // namespace lumenary::http
