#include "mcp/transports/network_write_queue.hpp"

#include <utility>

#include "mcp/transports/network_framer.hpp"

namespace lumenary::mcp {

async::OneShot<void> NetworkWriteQueue::pushMessage(std::string_view message) {
    NetworkFramer::appendMessage(queued_, message);
    queuedEnd_ += message.size() + 1;
    return addTicket();
}

async::OneShot<void> NetworkWriteQueue::pushRecord(std::string_view bytes) {
    queued_.append(bytes);
    queuedEnd_ += bytes.size();
    return addTicket();
}

async::OneShot<void> NetworkWriteQueue::addTicket() {
    async::OneShot<void> written;
    tickets_.push_back(Ticket{queuedEnd_, written});
    return written;
}

async::OneShot<void> NetworkWriteQueue::waitForRoom() {
    async::OneShot<void> room;
    if (hasRoom()) {
        room.resume();
    } else {
        roomWaiters_.push_back(room);
    }
    return room;
}

std::string_view NetworkWriteQueue::takeBatch() {
    // The two buffers trade places, so their capacity is reused.
    batch_.clear();
    std::swap(batch_, queued_);
    isWriting_ = true;
    wakeRoomWaiters();
    return batch_;
}

void NetworkWriteQueue::batchWritten() {
    isWriting_ = false;
    writtenEnd_ += batch_.size();
    batch_.clear();
    while (!tickets_.empty() && tickets_.front().end <= writtenEnd_) {
        tickets_.front().written.resume();
        tickets_.pop_front();
    }
}

void NetworkWriteQueue::batchFailed(std::exception_ptr error) {
    isWriting_ = false;
    queuedEnd_ -= batch_.size();
    batch_.clear();
    failAll(std::move(error));
}

void NetworkWriteQueue::failAll(std::exception_ptr error) {
    // A batch still out keeps its bytes: the write may not have let go of
    // them yet.
    queuedEnd_ -= queued_.size();
    queued_.clear();
    for (auto& ticket : std::exchange(tickets_, {})) {
        ticket.written.fail(error);
    }
    wakeRoomWaiters();
}

void NetworkWriteQueue::wakeRoomWaiters() {
    for (auto& waiter : std::exchange(roomWaiters_, {})) {
        waiter.resume();
    }
}

}  // namespace lumenary::mcp
