#include "mcp/client/client.hpp"

#include "mcp/client/client_conventions.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::mcp {

std::shared_ptr<Client> Client::create(asio::any_io_executor executor, std::string name, std::string version,
                                       Configuration configuration) {
    return std::shared_ptr<Client>(
        new Client(std::move(executor), Info{std::move(name), std::move(version)}, configuration));
}

Client::Client(asio::any_io_executor executor, Info info, Configuration configuration)
    : strand_(asio::make_strand(std::move(executor))), clientInfo_(std::move(info)), configuration_(configuration) {}

asio::awaitable<Client::Capabilities> Client::capabilities() {
    return async::readOnStrand(strand_, shared_from_this(), &Client::capabilities_);
}

asio::awaitable<void> Client::setCapabilities(Capabilities capabilities) {
    return async::writeOnStrand(strand_, shared_from_this(), &Client::capabilities_, std::move(capabilities));
}

asio::awaitable<Client::Configuration> Client::configuration() {
    return async::readOnStrand(strand_, shared_from_this(), &Client::configuration_);
}

asio::awaitable<void> Client::setConfiguration(Configuration configuration) {
    return async::writeOnStrand(strand_, shared_from_this(), &Client::configuration_, configuration);
}

asio::awaitable<std::optional<ServerCapabilities>> Client::serverCapabilities() {
    return async::readOnStrand(strand_, shared_from_this(), &Client::serverCapabilities_);
}

asio::awaitable<std::optional<std::string>> Client::serverVersion() {
    return async::readOnStrand(strand_, shared_from_this(), &Client::serverVersion_);
}

asio::awaitable<std::optional<std::string>> Client::instructions() {
    return async::readOnStrand(strand_, shared_from_this(), &Client::instructions_);
}

Client& Client::withSamplingHandler(SamplingHandler handler) {
    asio::dispatch(strand_, [self = shared_from_this(), handler = std::move(handler)]() mutable {
        self->samplingHandler_ = std::move(handler);
    });
    return *this;
}

std::optional<logging::Logger> Client::logger() const {
    if (!connection_) {
        return std::nullopt;
    }
    return connection_->logger();
}

std::shared_ptr<Transport> Client::usableConnection() const {
    if (!connection_) {
        throw MCPError::internalError("Client connection not initialized");
    }
    if (connectionEnd_) {
        std::rethrow_exception(connectionEnd_);
    }
    return connection_;
}

void Client::addPendingRequest(const ID& id, const AnyPendingRequest& pending) {
    // A second request under a waiting id would leave the first one without
    // any answer.
    if (!pendingRequests_.try_emplace(id, pending).second) {
        throw MCPError::invalidRequest("Request ID is already pending: " + id.description());
    }
}

void Client::failPendingRequest(const ID& id, const AnyPendingRequest& pending, std::exception_ptr error) {
    auto found = pendingRequests_.find(id);
    if (found == pendingRequests_.end() || !(found->second == pending)) {
        return;
    }
    pendingRequests_.erase(found);
    pending.fail(std::move(error));
}

asio::awaitable<Initialize::Result> Client::connect(std::shared_ptr<Transport> transport) {
    return async::onStrand(strand_, connectOnStrand(shared_from_this(), std::move(transport)));
}

asio::awaitable<Initialize::Result> Client::connectOnStrand(std::shared_ptr<Client> self,
                                                            std::shared_ptr<Transport> transport) {
    self->connection_ = transport;
    self->connectionEnd_ = nullptr;
    const auto generation = ++self->generation_;
    self->inboundStream_.reset();
    self->messagesOfLostConnection_ = 0;
    transport->setConnectionReplacedHandler([weak = std::weak_ptr<Client>(self), generation] {
        if (auto client = weak.lock()) {
            asio::post(client->strand_, [client, generation] { client->handleConnectionReplaced(generation); });
        }
    });
    co_await transport->connect();
    if (auto logger = self->logger()) {
        logger->debug(
            "Client connected",
            [&] {
                return logging::Metadata{{"name", self->name()}, {"version", self->version()}};
            },
            {}, clientLocation("connect(transport:)"));
    }
    self->task_ = async::Task::spawn(self->strand_, [self, transport, generation]() -> asio::awaitable<void> {
        co_await self->messageLoop(transport, generation);
    });
    co_return co_await self->initialize();
}

asio::awaitable<void> Client::disconnect() {
    return async::onStrand(strand_, disconnectOnStrand(shared_from_this()));
}

asio::awaitable<void> Client::disconnectOnStrand(std::shared_ptr<Client> self) {
    // The records go to the transport being detached: once it is gone the
    // client has no logger left.
    const auto logger = self->logger();
    const auto log = [&logger](const char* message) {
        if (logger) {
            logger->debug(message, {}, {}, clientLocation("disconnect()"));
        }
    };
    log("Initiating client disconnect...");

    // Detached before the first await, so requests made from here on fail
    // at once instead of waiting on a connection that is going away.
    auto connection = std::exchange(self->connection_, nullptr);
    auto task = std::exchange(self->task_, std::nullopt);
    auto pending = std::exchange(self->pendingRequests_, {});
    self->connectionEnd_ = nullptr;
    self->inboundStream_.reset();
    self->messagesOfLostConnection_ = 0;
    ++self->generation_;

    const auto disconnected = std::make_exception_ptr(MCPError::internalError("Client disconnected"));
    for (const auto& [id, request] : pending) {
        request.fail(disconnected);
    }
    log("Pending requests cancelled.");
    if (task) {
        task->cancel();
        log("Message loop task cancellation requested.");
    }
    if (connection) {
        co_await connection->disconnect();
        log("Transport disconnected.");
    } else {
        log("No active transport connection to disconnect.");
    }
    if (task) {
        co_await task->join();
        log("Client message loop task finished.");
    }
    log("Client disconnect complete.");
}

asio::awaitable<void> Client::sendOnStrand(std::shared_ptr<Client> self, const RequiredCapability* capability, ID id,
                                           Value request, AnyPendingRequest pending) {
    if (capability) {
        self->checkCapability(*capability);
    }
    auto connection = self->usableConnection();
    auto text = writeJSON(request, clientWireOptions);
    // Filed before the bytes leave, so no answer can find the id missing.
    self->addPendingRequest(id, pending);
    std::exception_ptr failure;
    try {
        co_await connection->send(std::move(text));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        // A response or a disconnect may have settled it meanwhile; then
        // that outcome stands.
        self->failPendingRequest(id, pending, failure);
    }
}

asio::awaitable<void> Client::notifyOnStrand(std::shared_ptr<Client> self, Value message) {
    auto connection = self->usableConnection();
    auto text = writeJSON(message, clientWireOptions);
    co_await connection->send(std::move(text));
}

asio::awaitable<void> Client::registerOnStrand(std::shared_ptr<Client> self, ID id, AnyPendingRequest pending) {
    self->addPendingRequest(id, pending);
    co_return;
}

asio::awaitable<void> Client::withBatch(std::function<asio::awaitable<void>(Batch&)> body) {
    auto self = shared_from_this();
    auto connection = co_await async::onStrand(strand_, batchConnectionOnStrand(self));
    Batch batch(weak_from_this());
    std::exception_ptr failure;
    try {
        co_await body(batch);
        co_await async::onStrand(strand_, sendBatchOnStrand(self, connection, batch.requests()));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        // Nothing went out, so no answer will come for these requests.
        co_await async::onStrand(strand_, failBatchOnStrand(self, batch.entries(), failure));
        std::rethrow_exception(failure);
    }
}

asio::awaitable<std::shared_ptr<Transport>> Client::batchConnectionOnStrand(std::shared_ptr<Client> self) {
    co_return self->usableConnection();
}

asio::awaitable<void> Client::sendBatchOnStrand(std::shared_ptr<Client> self, std::shared_ptr<Transport> connection,
                                                std::vector<Request<AnyMethod>> requests) {
    const auto logger = self->logger();
    if (requests.empty()) {
        if (logger) {
            logger->debug("Batch requested but no requests were added.", {}, {}, clientLocation("withBatch(body:)"));
        }
        co_return;
    }
    if (logger) {
        logger->debug(
            "Sending batch request",
            [&] {
                return logging::Metadata{{"count", std::to_string(requests.size())}};
            },
            {}, clientLocation("withBatch(body:)"));
    }
    auto text = writeJSON(encodeValue(requests), clientWireOptions);
    co_await connection->send(std::move(text));
}

asio::awaitable<void> Client::failBatchOnStrand(std::shared_ptr<Client> self, std::vector<ClientBatch::Entry> entries,
                                                std::exception_ptr error) {
    for (const auto& entry : entries) {
        self->failPendingRequest(entry.id, entry.pending, error);
    }
    co_return;
}

}  // namespace lumenary::mcp
