#include "app/host/standard_io_channel.hpp"

#include <utility>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include "mcp/core/json.hpp"
#include "mcp/core/mcp_error.hpp"
#include "mcp/core/message_classification.hpp"
#include "mcp/core/response.hpp"

namespace lumenary::app {

namespace {

// Messages read but not yet taken by the attached server; reading pauses
// beyond, so a client that floods the input cannot grow the process.
constexpr std::size_t mostMessagesAwaitingServer = 1024;

// The error reply a request gets while the service is switched off;
// nothing for anything else.
std::optional<mcp::Value> refusalOf(const mcp::Value& message) {
    const auto classification = mcp::classifyMessage(message);
    if (classification.kind != mcp::MessageKind::request || !classification.id) {
        return std::nullopt;
    }
    return mcp::encodeResponse(mcp::Response<mcp::AnyMethod>::failure(
        *classification.id, mcp::MCPError::serverError(-32000, "The MCP service is switched off")));
}

}  // namespace

class StandardIOChannel::ServerEnd final : public mcp::Transport {
public:
    ServerEnd(std::shared_ptr<StandardIOChannel> channel, std::uint64_t generation,
              async::Queue<mcp::ReceivedMessage> messages)
        : channel_(std::move(channel)), generation_(generation), messages_(std::move(messages)) {}

    logging::Logger logger() const override { return channel_->streams_->logger(); }
    asio::awaitable<void> connect() override {
        co_await channel_->open();
    }
    asio::awaitable<void> disconnect() override {
        channel_->disconnectEnd(generation_);
        messages_.finish();
        co_return;
    }
    asio::awaitable<void> send(mcp::SentMessage message) override {
        co_await channel_->streams_->send(std::move(message));
    }
    async::Queue<mcp::ReceivedMessage> receive() override { return messages_; }

private:
    const std::shared_ptr<StandardIOChannel> channel_;
    const std::uint64_t generation_;
    async::Queue<mcp::ReceivedMessage> messages_;
};

std::shared_ptr<StandardIOChannel> StandardIOChannel::create(asio::any_io_executor executor, int input, int output) {
    return std::shared_ptr<StandardIOChannel>(new StandardIOChannel(std::move(executor), input, output));
}

StandardIOChannel::StandardIOChannel(asio::any_io_executor executor, int input, int output)
    : executor_(executor), streams_(mcp::StdioTransport::create(std::move(executor), input, output)) {}

std::shared_ptr<mcp::Transport> StandardIOChannel::attach() {
    const async::Queue<mcp::ReceivedMessage> messages;
    std::optional<async::Queue<mcp::ReceivedMessage>> replaced;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        generation = ++generation_;
        // Taken at once, not once the server connects: what the client sends
        // right after a start waits for the new server rather than being
        // refused.
        if (inputEnded_) {
            replaced = messages;
        } else {
            replaced = std::exchange(attachedMessages_, messages);
        }
    }
    if (replaced) {
        replaced->finish();
    }
    return std::make_shared<ServerEnd>(shared_from_this(), generation, messages);
}

void StandardIOChannel::detach() {
    std::optional<async::Queue<mcp::ReceivedMessage>> detached;
    {
        std::lock_guard lock(mutex_);
        ++generation_;
        detached = std::exchange(attachedMessages_, std::nullopt);
    }
    if (detached) {
        detached->finish();
    }
}

asio::awaitable<void> StandardIOChannel::close() {
    detach();
    co_await streams_->disconnect();
}

asio::awaitable<void> StandardIOChannel::open() {
    {
        std::lock_guard lock(mutex_);
        if (std::exchange(isOpen_, true)) {
            co_return;
        }
    }
    try {
        co_await streams_->connect();
    } catch (...) {
        std::lock_guard lock(mutex_);
        isOpen_ = false;
        throw;
    }
    asio::co_spawn(executor_, [self = shared_from_this()] { return self->readLoop(); }, asio::detached);
}

void StandardIOChannel::disconnectEnd(std::uint64_t generation) {
    std::lock_guard lock(mutex_);
    if (generation == generation_) {
        attachedMessages_.reset();
    }
}

asio::awaitable<void> StandardIOChannel::readLoop() {
    const auto incoming = streams_->receive();
    for (;;) {
        std::optional<mcp::ReceivedMessage> message;
        try {
            message = co_await incoming.next();
        } catch (const std::exception&) {
        }
        if (!message) {
            break;
        }
        std::optional<async::Queue<mcp::ReceivedMessage>> target;
        {
            std::lock_guard lock(mutex_);
            target = attachedMessages_;
        }
        if (target) {
            co_await target->waitUntilBelow(mostMessagesAwaitingServer);
            // A copy: should the server have been detached meanwhile, the
            // message is still there to refuse.
            if (target->push(*message)) {
                continue;
            }
        }
        co_await refuse(*message);
    }
    std::optional<async::Queue<mcp::ReceivedMessage>> ended;
    {
        std::lock_guard lock(mutex_);
        inputEnded_ = true;
        ended = std::exchange(attachedMessages_, std::nullopt);
    }
    if (ended) {
        ended->finish();
    }
}

asio::awaitable<void> StandardIOChannel::refuse(const mcp::ReceivedMessage& message) {
    mcp::Value parsed;
    try {
        parsed = message.parsed ? *message.parsed : mcp::parseJSON(message.text);
    } catch (const std::exception&) {
        co_return;
    }
    std::optional<mcp::SentMessage> refusal;
    if (const auto* batch = parsed.arrayValue()) {
        mcp::Value::Array refusals;
        for (const auto& element : *batch) {
            if (auto refused = refusalOf(element)) {
                refusals.push_back(std::move(*refused));
            }
        }
        if (!refusals.empty()) {
            refusal.emplace(mcp::writeJSON(mcp::Value(std::move(refusals))));
        }
    } else if (auto refused = refusalOf(parsed)) {
        refusal.emplace(mcp::writeJSON(*refused));
    }
    if (!refusal) {
        co_return;
    }
    try {
        co_await streams_->send(std::move(*refusal));
    } catch (const std::exception&) {
        // The output is gone; there is no one left to tell.
    }
}

}  // namespace lumenary::app
