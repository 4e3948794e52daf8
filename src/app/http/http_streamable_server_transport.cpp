#include "app/http/http_streamable_server_transport.hpp"

#include <algorithm>

#include "mcp/core/coders.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/server_batch.hpp"

namespace lumenary::http {

namespace {

// One key per id, keeping strings and numbers apart.
std::string idKey(const mcp::ID& id) {
    return (id.isString() ? "s" : "n") + id.description();
}

// The ids of the requests in a batch, sorted; refuses what the server would
// answer with one error object that no exchange could be matched to.
std::vector<std::string> batchRequestKeys(const mcp::Value& batch) {
    if (batch.arrayValue()->empty()) {
        throw RefusedMessage(mcp::MCPError::invalidRequest("Batch array must not be empty"));
    }
    mcp::ServerBatch decoded;
    try {
        decoded = mcp::decodeValue<mcp::ServerBatch>(batch);
    } catch (const mcp::DecodingError& error) {
        throw RefusedMessage(mcp::MCPError::invalidRequest(std::string("Invalid batch item format: ") + error.what()));
    }
    std::vector<std::string> keys;
    for (const auto& item : decoded.items) {
        if (const auto* request = std::get_if<mcp::Request<mcp::AnyMethod>>(&item)) {
            keys.push_back(idKey(request->id));
        }
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

// The ids of the replies in an array the server sent, sorted.
std::optional<std::vector<std::string>> batchReplyKeys(const mcp::Value& replies) {
    std::vector<std::string> keys;
    for (const auto& reply : *replies.arrayValue()) {
        const mcp::Value* id = reply.find("id");
        if (id == nullptr) {
            return std::nullopt;
        }
        try {
            keys.push_back(idKey(mcp::decodeValue<mcp::ID>(*id)));
        } catch (const mcp::DecodingError&) {
            return std::nullopt;
        }
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

}  // namespace

std::shared_ptr<HTTPStreamableServerTransport> HTTPStreamableServerTransport::create() {
    return create(Limits{});
}

std::shared_ptr<HTTPStreamableServerTransport> HTTPStreamableServerTransport::create(Limits limits) {
    return std::shared_ptr<HTTPStreamableServerTransport>(new HTTPStreamableServerTransport(limits));
}

HTTPStreamableServerTransport::HTTPStreamableServerTransport(Limits limits)
    : logger_("hostdeck.transport.http"),
      limits_(limits),
      messages_([](const mcp::ReceivedMessage& message) { return message.text.size(); }) {}

asio::awaitable<void> HTTPStreamableServerTransport::connect() {
    {
        std::lock_guard lock(mutex_);
        if (isClosed_) {
            throw mcp::MCPError::connectionClosed();
        }
        isConnected_ = true;
    }
    co_return;
}

asio::awaitable<void> HTTPStreamableServerTransport::disconnect() {
    std::unordered_map<JSONRPCID, Reply> pending;
    std::list<ParkedBatch> batches;
    {
        std::lock_guard lock(mutex_);
        if (isClosed_) {
            co_return;
        }
        isClosed_ = true;
        isConnected_ = false;
        messages_.finish();
        pending.swap(pendingResponses_);
        batches.swap(pendingBatches_);
    }
    const auto failure = std::make_exception_ptr(mcp::MCPError::internalError("Transport disconnected"));
    for (auto& [id, reply] : pending) reply.fail(failure);
    for (auto& batch : batches) batch.reply.fail(failure);
}

void HTTPStreamableServerTransport::setBroadcaster(Broadcaster broadcaster) {
    std::lock_guard lock(mutex_);
    broadcaster_ = std::move(broadcaster);
}

asio::awaitable<std::optional<std::string>> HTTPStreamableServerTransport::handleRequest(std::string body) {
    mcp::Value message;
    try {
        message = mcp::parseJSON(body);
    } catch (const mcp::DecodingError& error) {
        throw RefusedMessage(mcp::MCPError::parseError(error.what()));
    }
    std::optional<JSONRPCID> id;
    std::optional<std::vector<std::string>> batchKeys;
    if (message.arrayValue() != nullptr) {
        batchKeys = batchRequestKeys(message);
    } else {
        id = extractIDFromValue(message);
    }
    auto reply = parkAndHandIn(std::move(body), std::move(id), std::move(batchKeys));
    if (!reply) {
        co_return std::nullopt;
    }
    co_return co_await reply->wait();
}

std::optional<HTTPStreamableServerTransport::Reply> HTTPStreamableServerTransport::parkAndHandIn(
    std::string body, std::optional<JSONRPCID> id, std::optional<std::vector<std::string>> batchKeys) {
    std::lock_guard lock(mutex_);
    if (isClosed_) {
        throw mcp::MCPError::internalError("Transport disconnected");
    }
    if (messages_.size() >= limits_.maximumQueuedMessages ||
        messages_.weight() + body.size() > limits_.maximumQueuedBytes) {
        throw RefusedMessage(mcp::MCPError::internalError("Too many messages are waiting for the server"), 503);
    }
    std::optional<Reply> reply;
    if (batchKeys && !batchKeys->empty()) {
        reply = pendingBatches_.emplace_back(ParkedBatch{std::move(*batchKeys), Reply()}).reply;
    } else if (id) {
        // Its reply could not be told from the waiting one's.
        if (pendingResponses_.contains(*id)) {
            throw RefusedMessage(
                mcp::MCPError::invalidRequest("Request id " + id->description() + " is already waiting for a reply"));
        }
        reply = pendingResponses_.emplace(std::move(*id), Reply()).first->second;
    }
    messages_.push(std::move(body));
    return reply;
}

asio::awaitable<void> HTTPStreamableServerTransport::send(std::string message) {
    Broadcaster broadcaster;
    {
        std::optional<Reply> waiting = takeWaitingExchange(message);
        if (waiting) {
            waiting->resume(std::move(message));
            co_return;
        }
        std::lock_guard lock(mutex_);
        if (isClosed_) {
            co_return;
        }
        broadcaster = broadcaster_;
    }
    if (broadcaster) {
        co_await broadcaster(std::move(message));
    }
}

std::optional<HTTPStreamableServerTransport::Reply> HTTPStreamableServerTransport::takeWaitingExchange(
    const std::string& message) {
    mcp::Value parsed;
    try {
        parsed = mcp::parseJSON(message);
    } catch (const mcp::DecodingError&) {
        return std::nullopt;
    }
    std::optional<std::vector<std::string>> replyKeys;
    std::optional<JSONRPCID> id;
    if (parsed.arrayValue() != nullptr) {
        replyKeys = batchReplyKeys(parsed);
    } else {
        id = extractIDFromValue(parsed);
    }

    std::lock_guard lock(mutex_);
    if (id) {
        auto found = pendingResponses_.find(*id);
        if (found == pendingResponses_.end()) {
            return std::nullopt;
        }
        Reply reply = std::move(found->second);
        pendingResponses_.erase(found);
        return reply;
    }
    if (replyKeys) {
        auto found = std::find_if(pendingBatches_.begin(), pendingBatches_.end(),
                                  [&](const ParkedBatch& batch) { return batch.idKeys == *replyKeys; });
        if (found == pendingBatches_.end()) {
            return std::nullopt;
        }
        Reply reply = std::move(found->reply);
        pendingBatches_.erase(found);
        return reply;
    }
    return std::nullopt;
}

}  // namespace lumenary::http
