#include "mcp/client/client_batch.hpp"

#include "mcp/client/client.hpp"

namespace lumenary::mcp {

std::vector<Request<AnyMethod>> ClientBatch::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<ClientBatch::Entry> ClientBatch::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

asio::awaitable<void> ClientBatch::file(ID id, AnyPendingRequest pending) {
    auto client = client_.lock();
    if (!client) {
        throw MCPError::internalError("Client deallocated");
    }
    co_await async::onStrand(client->strand_, Client::registerOnStrand(client, std::move(id), std::move(pending)));
}

void ClientBatch::append(Request<AnyMethod> request, AnyPendingRequest pending) {
    std::lock_guard lock(mutex_);
    entries_.push_back(Entry{request.id, std::move(pending)});
    requests_.push_back(std::move(request));
}

}  // namespace lumenary::mcp
