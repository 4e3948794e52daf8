// The handshake and liveness handlers every server answers by itself.
#include "mcp/core/handshake.hpp"
#include "mcp/core/version.hpp"
#include "mcp/server/server.hpp"

namespace lumenary::mcp {

void Server::registerBuiltInHandlers(InitializeHook initializeHook) {
    // The handler lives in this server's own table, so it must not keep the
    // server alive.
    std::weak_ptr<Server> weakServer = weak_from_this();
    auto initialize = std::make_shared<TypedRequestHandler<Initialize>>(
        [weakServer,
         hook = std::move(initializeHook)](Request<Initialize> request) -> asio::awaitable<Response<Initialize>> {
            auto server = weakServer.lock();
            if (!server) {
                throw MCPError::internalError("Server was deallocated");
            }
            if (server->isInitialized_) {
                throw MCPError::invalidRequest("Server is already initialized");
            }
            const auto& parameters = request.params;
            if (hook) {
                co_await hook(parameters.clientInfo, parameters.capabilities);
            }
            const auto& supported = Version::supported();
            auto version = supported.contains(parameters.protocolVersion) ? parameters.protocolVersion
                                                                          : std::string(Version::latest());
            server->recordInitialization(parameters.clientInfo, parameters.capabilities, version);
            co_return Response<Initialize>::success(
                std::move(request.id),
                Initialize::Result{version, server->capabilities_, server->serverInfo_, server->instructions_});
        });
    auto ping = std::make_shared<ImmediateRequestHandler<Ping>>([](Ping::Parameters) { return Empty{}; });

    methodHandlers_[std::string(Initialize::name)] = std::move(initialize);
    methodHandlers_[std::string(Ping::name)] = std::move(ping);
}

void Server::recordInitialization(ClientInfo clientInfo, ClientCapabilities clientCapabilities,
                                  std::string protocolVersion) {
    clientInfo_ = std::move(clientInfo);
    clientCapabilities_ = std::move(clientCapabilities);
    protocolVersion_ = std::move(protocolVersion);
    isInitialized_ = true;
}

}  // namespace lumenary::mcp
