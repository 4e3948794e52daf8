#include "mcp/server/server.hpp"

#include "mcp/core/coders.hpp"

namespace lumenary::mcp {

std::shared_ptr<Server> Server::create(asio::any_io_executor executor, std::string name, std::string version,
                                       std::optional<std::string> instructions, Capabilities capabilities,
                                       Configuration configuration) {
    return std::shared_ptr<Server>(new Server(std::move(executor), Info{std::move(name), std::move(version)},
                                              std::move(instructions), std::move(capabilities), configuration));
}

Server::Server(asio::any_io_executor executor, Info info, std::optional<std::string> instructions,
               Capabilities capabilities, Configuration configuration)
    : strand_(asio::make_strand(std::move(executor))),
      serverInfo_(std::move(info)),
      instructions_(std::move(instructions)),
      capabilities_(std::move(capabilities)),
      configuration_(configuration) {}

asio::awaitable<Server::Capabilities> Server::capabilities() {
    return async::readOnStrand(strand_, shared_from_this(), &Server::capabilities_);
}

asio::awaitable<void> Server::setCapabilities(Capabilities capabilities) {
    return async::writeOnStrand(strand_, shared_from_this(), &Server::capabilities_, std::move(capabilities));
}

asio::awaitable<Server::Configuration> Server::configuration() {
    return async::readOnStrand(strand_, shared_from_this(), &Server::configuration_);
}

asio::awaitable<void> Server::setConfiguration(Configuration configuration) {
    return async::writeOnStrand(strand_, shared_from_this(), &Server::configuration_, configuration);
}

asio::awaitable<bool> Server::isInitialized() {
    return async::readOnStrand(strand_, shared_from_this(), &Server::isInitialized_);
}

asio::awaitable<std::optional<ClientInfo>> Server::clientInfo() {
    return async::readOnStrand(strand_, shared_from_this(), &Server::clientInfo_);
}

asio::awaitable<std::optional<ClientCapabilities>> Server::clientCapabilities() {
    return async::readOnStrand(strand_, shared_from_this(), &Server::clientCapabilities_);
}

asio::awaitable<std::optional<std::string>> Server::protocolVersion() {
    return async::readOnStrand(strand_, shared_from_this(), &Server::protocolVersion_);
}

asio::awaitable<void> Server::start(std::shared_ptr<Transport> transport, InitializeHook initializeHook) {
    return async::onStrand(strand_, [](std::shared_ptr<Server> self, std::shared_ptr<Transport> connection,
                       InitializeHook hook) -> asio::awaitable<void> {
        self->connection_ = connection;
        self->connectionLogger_ = connection->logger();
        self->registerBuiltInHandlers(std::move(hook));
        co_await connection->connect();
        if (const auto& logger = self->logger()) {
            logger->debug(
                "Server started",
                [&] {
                    return logging::Metadata{{"name", self->name()}, {"version", self->version()}};
                },
                "MCP");
        }
        self->task_ = async::Task::spawn(
            self->strand_, [self, connection]() -> asio::awaitable<void> { co_await self->messageLoop(connection); });
    }(shared_from_this(), std::move(transport), std::move(initializeHook)));
}

asio::awaitable<void> Server::stop() {
    return async::onStrand(strand_, [](std::shared_ptr<Server> self) -> asio::awaitable<void> {
        if (self->task_) {
            self->task_->cancel();
        }
        self->task_.reset();
        self->connectionLogger_.reset();
        if (auto connection = std::exchange(self->connection_, nullptr)) {
            co_await connection->disconnect();
        }
    }(shared_from_this()));
}

asio::awaitable<void> Server::waitForCompletion() {
    auto task = co_await async::readOnStrand(strand_, shared_from_this(), &Server::task_);
    if (task) {
        co_await task->join();
    }
}

asio::awaitable<CreateSamplingMessage::Result> Server::requestSampling(CreateSamplingMessage::Parameters parameters) {
    return async::onStrand(strand_, [](std::shared_ptr<Server> self,
                       CreateSamplingMessage::Parameters) -> asio::awaitable<CreateSamplingMessage::Result> {
        if (!self->connection_) {
            throw MCPError::internalError("Server connection not initialized");
        }
        throw MCPError::internalError("Bidirectional sampling requests not yet implemented in transport layer");
        co_return CreateSamplingMessage::Result{};
    }(shared_from_this(), std::move(parameters)));
}

asio::awaitable<void> Server::sendValue(Value message, std::optional<ID> answeredRequest) {
    auto connection = co_await async::readOnStrand(strand_, shared_from_this(), &Server::connection_);
    // A missing connection is reported even for a message that cannot be
    // written; the writing happens after the hop back, off the strand.
    if (!connection) {
        throw MCPError::internalError("Server connection not initialized");
    }
    SentMessage sent(writeJSON(message));
    if (answeredRequest) {
        sent.answered = std::move(*answeredRequest);
    }
    co_await connection->send(std::move(sent));
}

asio::awaitable<void> Server::sendOnStrand(SentMessage message) {
    if (!connection_) {
        throw MCPError::internalError("Server connection not initialized");
    }
    return connection_->send(std::move(message));
}

}  // namespace lumenary::mcp
