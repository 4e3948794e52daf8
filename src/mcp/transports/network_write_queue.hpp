#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "async/one_shot.hpp"

namespace lumenary::mcp {

// The one writer's queue of a network connection: messages and heartbeats go
// out whole and in the order they were queued, as few writes as possible,
// and each queuer learns when its bytes have been written.
//
// Not thread-safe: its owner keeps it on one strand. The writer takes what is
// queued as one batch, writes it, and reports the batch written or failed;
// meanwhile new bytes queue behind it. The bound holds queuers back (through
// waitForRoom) while the peer does not read: at most one batch and a bound's
// worth of bytes (plus the last message let in) are held at once.
class NetworkWriteQueue {
public:
    explicit NetworkWriteQueue(std::size_t maximumQueuedBytes) : maximumQueuedBytes_(maximumQueuedBytes) {}

    // Queues a message and its 0x0A; the one-shot ends once both are written.
    async::OneShot<void> pushMessage(std::string_view message);
    // Queues raw bytes (a heartbeat record) as they are.
    async::OneShot<void> pushRecord(std::string_view bytes);

    // True while the queued bytes are below the bound.
    bool hasRoom() const noexcept { return queued_.size() < maximumQueuedBytes_; }
    // Ends once there is room again, or the queue is failed.
    async::OneShot<void> waitForRoom();

    std::size_t roomWaiterCount() const noexcept { return roomWaiters_.size(); }

    bool hasQueuedBytes() const noexcept { return !queued_.empty(); }
    bool isWriting() const noexcept { return isWriting_; }
    std::size_t queuedBytes() const noexcept { return queued_.size(); }

    // Everything queued, as the next write; it stays valid until the batch is
    // reported. Must not be called while a batch is out.
    std::string_view takeBatch();
    // The batch reached the connection: its queuers end.
    void batchWritten();
    // The batch failed: its queuers fail with `error`, and so does everyone
    // queued behind it, since the stream's framing can no longer be trusted.
    void batchFailed(std::exception_ptr error);
    // Fails every queuer and waiter; nothing is queued after. A batch still
    // out keeps its bytes until it is reported.
    void failAll(std::exception_ptr error);

private:
    struct Ticket {
        std::uint64_t end;  // the byte count that completes it
        async::OneShot<void> written;
    };

    async::OneShot<void> addTicket();
    void wakeRoomWaiters();

    std::size_t maximumQueuedBytes_;
    std::string queued_;
    std::string batch_;
    bool isWriting_ = false;
    std::uint64_t queuedEnd_ = 0;   // bytes ever queued
    std::uint64_t writtenEnd_ = 0;  // bytes ever written
    std::deque<Ticket> tickets_;
    std::vector<async::OneShot<void>> roomWaiters_;
};

}  // namespace lumenary::mcp
