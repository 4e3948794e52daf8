#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include <asio/awaitable.hpp>

#include "mcp/client/pending_request.hpp"
#include "mcp/core/id.hpp"
#include "mcp/core/request.hpp"

namespace lumenary::mcp {

class Client;

// The requests a caller collects inside Client::withBatch, sent together as
// one JSON-RPC batch when the caller's code returns. It holds its client
// without owning it and lives only for that call. Its mutex guards the
// requests added, since a caller may add from several coroutines at once.
class ClientBatch {
public:
    // A request of the batch as the client files it.
    struct Entry {
        ID id;
        AnyPendingRequest pending;
    };

    ClientBatch(const ClientBatch&) = delete;
    ClientBatch& operator=(const ClientBatch&) = delete;

    // Files the request with the client under its id (an id that is already
    // waiting is refused) and adds it to the batch. The handle gives the
    // request's result once the batch's answer arrives.
    template <Method M>
    asio::awaitable<PendingRequest<typename M::Result>> addRequest(Request<M> request) {
        auto untyped = toAnyRequest(request);
        PendingRequest<typename M::Result> pending;
        co_await file(untyped.id, pending.erased());
        append(std::move(untyped), pending.erased());
        co_return pending;
    }

    // The requests added so far, in the order added.
    std::vector<Request<AnyMethod>> requests() const;

private:
    friend class Client;

    explicit ClientBatch(std::weak_ptr<Client> client) : client_(std::move(client)) {}

    asio::awaitable<void> file(ID id, AnyPendingRequest pending);
    void append(Request<AnyMethod> request, AnyPendingRequest pending);
    std::vector<Entry> entries() const;

    std::weak_ptr<Client> client_;
    mutable std::mutex mutex_;
    std::vector<Request<AnyMethod>> requests_;
    std::vector<Entry> entries_;
};

}  // namespace lumenary::mcp
