#include "app/http/http_streamable_server_transport.hpp"

#include <algorithm>

#include "mcp/core/coders.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/message_classification.hpp"
#include "mcp/server/server_batch.hpp"

namespace lumenary::http {

namespace {

// Strings before numbers, so that the string "1" and the number 1 stay two
// ids.
bool idOrder(const mcp::ID& left, const mcp::ID& right) {
    if (left.isString() != right.isString()) {
        return left.isString();
    }
    if (left.isString()) {
        return *left.stringValue() < *right.stringValue();
    }
    return *left.numberValue() < *right.numberValue();
}

// Why a batch element makes the whole batch unanswerable, in the decoder's
// words where it has some.
RefusedMessage invalidBatchItem(const mcp::Value& batch) {
    std::string reason = "an item is neither a request nor a notification";
    try {
        mcp::decodeValue<mcp::ServerBatch>(batch);
    } catch (const mcp::DecodingError& error) {
        reason = error.what();
    }
    return RefusedMessage(mcp::MCPError::invalidRequest("Invalid batch item format: " + reason));
}

// The ids of the requests in a batch, in idOrder. Refuses what the server
// would answer with one error that no exchange could be matched to: an empty
// batch, or one with an element that is neither a request nor a
// notification.
std::vector<mcp::ID> batchRequestIDs(const mcp::Value& batch) {
    const auto& items = *batch.arrayValue();
    if (items.empty()) {
        throw RefusedMessage(mcp::MCPError::invalidRequest("Batch array must not be empty"));
    }
    std::vector<mcp::ID> ids;
    for (const auto& item : items) {
        auto classification = mcp::classifyMessage(item);
        if (classification.kind == mcp::MessageKind::request) {
            ids.push_back(std::move(*classification.id));
        } else if (classification.kind != mcp::MessageKind::notification) {
            throw invalidBatchItem(batch);
        }
    }
    std::sort(ids.begin(), ids.end(), idOrder);
    return ids;
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
    std::unordered_map<mcp::ID, Parked> pending;
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
    // The server will not handle what is still queued, and its copy of the
    // queue may outlive the session a while: the bodies go now, and their
    // charge with them.
    messages_.clear();
    const auto failure = std::make_exception_ptr(mcp::MCPError::internalError("Transport disconnected"));
    for (auto& [id, parked] : pending) parked.reply.fail(failure);
    for (auto& batch : batches) batch.parked.reply.fail(failure);
}

void HTTPStreamableServerTransport::setBroadcaster(Broadcaster broadcaster) {
    std::lock_guard lock(mutex_);
    broadcaster_ = std::move(broadcaster);
}

std::optional<HTTPStreamableServerTransport::WaitingExchange> HTTPStreamableServerTransport::handIn(std::string body,
                                                                                          std::shared_ptr<const void> charge) {
    mcp::Value message;
    try {
        message = mcp::parseJSON(body);
    } catch (const mcp::DecodingError& error) {
        throw RefusedMessage(mcp::MCPError::parseError(error.what()));
    }
    std::optional<mcp::ID> id;
    std::optional<std::vector<mcp::ID>> batchIDs;
    if (message.arrayValue() != nullptr) {
        batchIDs = batchRequestIDs(message);
    } else {
        id = mcp::classifyMessage(message).answeredUnder();
    }
    return parkAndHandIn(std::move(body), std::move(message), std::move(id), std::move(batchIDs), std::move(charge));
}

asio::awaitable<std::optional<std::string>> HTTPStreamableServerTransport::exchange(std::string body) {
    auto waiting = handIn(std::move(body));
    if (!waiting) {
        co_return std::nullopt;
    }
    co_return co_await waiting->reply();
}

asio::awaitable<std::string> HTTPStreamableServerTransport::WaitingExchange::reply() {
    try {
        co_return co_await reply_.wait();
    } catch (...) {
        giveUp();
        throw;
    }
}

void HTTPStreamableServerTransport::WaitingExchange::giveUp() {
    if (auto transport = transport_.lock()) {
        transport->abandon(number_);
    }
    reply_.fail(std::make_exception_ptr(mcp::MCPError::internalError("The exchange was given up")));
}

std::optional<HTTPStreamableServerTransport::WaitingExchange> HTTPStreamableServerTransport::parkAndHandIn(
    std::string body, mcp::Value message, std::optional<mcp::ID> id, std::optional<std::vector<mcp::ID>> batchIDs,
    std::shared_ptr<const void> charge) {
    std::lock_guard lock(mutex_);
    if (isClosed_) {
        throw mcp::MCPError::internalError("Transport disconnected");
    }
    if (messages_.size() >= limits_.maximumQueuedMessages ||
        messages_.weight() + body.size() > limits_.maximumQueuedBytes) {
        throw RefusedMessage(mcp::MCPError::internalError("Too many messages are waiting for the server"), 503);
    }
    std::optional<WaitingExchange> waiting;
    if (batchIDs && !batchIDs->empty()) {
        const Parked& parked =
            pendingBatches_.emplace_back(ParkedBatch{std::move(*batchIDs), Parked{Reply(), ++nextExchangeNumber_}})
                .parked;
        waiting = WaitingExchange(weak_from_this(), parked.reply, parked.number);
    } else if (id) {
        // Its reply could not be told from the waiting one's.
        if (pendingResponses_.contains(*id)) {
            throw RefusedMessage(
                mcp::MCPError::invalidRequest("Request id " + id->description() + " is already waiting for a reply"));
        }
        const Parked& parked =
            pendingResponses_.emplace(std::move(*id), Parked{Reply(), ++nextExchangeNumber_}).first->second;
        waiting = WaitingExchange(weak_from_this(), parked.reply, parked.number);
    }
    messages_.push(mcp::ReceivedMessage(std::move(body), std::move(message), std::move(charge)));
    return waiting;
}

void HTTPStreamableServerTransport::abandon(std::uint64_t number) {
    std::lock_guard lock(mutex_);
    for (auto& [id, parked] : pendingResponses_) {
        if (parked.number == number) {
            parked.isAbandoned = true;
            return;
        }
    }
    for (auto& batch : pendingBatches_) {
        if (batch.parked.number == number) {
            batch.parked.isAbandoned = true;
            return;
        }
    }
}

asio::awaitable<void> HTTPStreamableServerTransport::send(mcp::SentMessage message) {
    Broadcaster broadcaster;
    {
        std::optional<Parked> waiting = takeWaitingExchange(message);
        if (waiting) {
            // A reply nobody waits for any more is dropped.
            if (!waiting->isAbandoned) {
                waiting->reply.resume(std::move(message.text));
            }
            co_return;
        }
        std::lock_guard lock(mutex_);
        if (isClosed_) {
            co_return;
        }
        broadcaster = broadcaster_;
    }
    if (broadcaster) {
        co_await broadcaster(std::move(message.text));
    }
}

std::optional<HTTPStreamableServerTransport::Parked> HTTPStreamableServerTransport::takeWaitingExchange(
    const mcp::SentMessage& message) {
    std::lock_guard lock(mutex_);
    if (const mcp::ID* id = message.answeredRequest()) {
        auto found = pendingResponses_.find(*id);
        if (found == pendingResponses_.end()) {
            return std::nullopt;
        }
        Parked parked = std::move(found->second);
        pendingResponses_.erase(found);
        return parked;
    }
    if (const std::vector<mcp::ID>* answered = message.answeredBatch()) {
        std::vector<mcp::ID> ids = *answered;
        std::sort(ids.begin(), ids.end(), idOrder);
        auto found = std::find_if(pendingBatches_.begin(), pendingBatches_.end(),
                                  [&](const ParkedBatch& batch) { return batch.ids == ids; });
        if (found == pendingBatches_.end()) {
            return std::nullopt;
        }
        Parked parked = std::move(found->parked);
        pendingBatches_.erase(found);
        return parked;
    }
    return std::nullopt;
}

}  // namespace lumenary::http
