// The handshake, the typed requests and the strict capability check.
#include "mcp/client/client.hpp"
#include "mcp/core/version.hpp"

namespace lumenary::mcp {

// Only presence counts: an announced group passes whatever its flags say.
const Client::RequiredCapability Client::promptsCapability{
    "Prompts", [](const ServerCapabilities& announced) { return announced.prompts.has_value(); }};
const Client::RequiredCapability Client::resourcesCapability{
    "Resources", [](const ServerCapabilities& announced) { return announced.resources.has_value(); }};
const Client::RequiredCapability Client::resourceSubscriptionCapability{
    "Resource subscription", [](const ServerCapabilities& announced) {
        return announced.resources && announced.resources->subscribe.has_value();
    }};
const Client::RequiredCapability Client::toolsCapability{
    "Tools", [](const ServerCapabilities& announced) { return announced.tools.has_value(); }};

asio::awaitable<Initialize::Result> Client::initialize() {
    auto capabilities = co_await async::readOnStrand(strand_, shared_from_this(), &Client::capabilities_);
    Initialize::Parameters parameters{Version::latest(), std::move(capabilities), clientInfo_};
    Request<Initialize> request(ID::random(), std::move(parameters));
    auto result = co_await send(std::move(request));
    co_await async::onStrand(strand_, recordHandshakeOnStrand(shared_from_this(), result));
    Message<InitializedNotification> initialized;
    co_await notify(std::move(initialized));
    co_return result;
}

asio::awaitable<void> Client::recordHandshakeOnStrand(std::shared_ptr<Client> self, Initialize::Result result) {
    self->serverCapabilities_ = std::move(result.capabilities);
    // The version the server chose for the connection, not its own.
    self->serverVersion_ = std::move(result.protocolVersion);
    self->instructions_ = std::move(result.instructions);
    co_return;
}

void Client::checkCapability(const RequiredCapability& capability) const {
    if (!configuration_.strict) {
        return;
    }
    if (!serverCapabilities_) {
        throw MCPError::methodNotFound("Server capabilities not initialized");
    }
    if (!capability.isAnnounced(*serverCapabilities_)) {
        throw MCPError::methodNotFound(std::string(capability.displayName) + " is not supported by the server");
    }
}

asio::awaitable<void> Client::ping() {
    Request<Ping> request(ID::random(), Empty{});
    co_await send(std::move(request));
}

asio::awaitable<GetPrompt::Result> Client::getPrompt(std::string name,
                                                     std::optional<std::map<std::string, Value>> arguments) {
    GetPrompt::Parameters parameters{std::move(name), std::move(arguments)};
    Request<GetPrompt> request(ID::random(), std::move(parameters));
    co_return co_await sendChecked(std::move(request), &promptsCapability);
}

asio::awaitable<ListPrompts::Result> Client::listPrompts(std::optional<std::string> cursor) {
    ListPrompts::Parameters parameters{std::move(cursor)};
    Request<ListPrompts> request(ID::random(), std::move(parameters));
    co_return co_await sendChecked(std::move(request), &promptsCapability);
}

asio::awaitable<ReadResource::Result> Client::readResource(std::string uri) {
    ReadResource::Parameters parameters{std::move(uri)};
    Request<ReadResource> request(ID::random(), std::move(parameters));
    co_return co_await sendChecked(std::move(request), &resourcesCapability);
}

asio::awaitable<ListResources::Result> Client::listResources(std::optional<std::string> cursor) {
    ListResources::Parameters parameters{std::move(cursor)};
    Request<ListResources> request(ID::random(), std::move(parameters));
    co_return co_await sendChecked(std::move(request), &resourcesCapability);
}

asio::awaitable<void> Client::subscribeToResource(std::string uri) {
    ResourceSubscribe::Parameters parameters{std::move(uri)};
    Request<ResourceSubscribe> request(ID::random(), std::move(parameters));
    co_await sendChecked(std::move(request), &resourceSubscriptionCapability);
}

asio::awaitable<ListResourceTemplates::Result> Client::listResourceTemplates(std::optional<std::string> cursor) {
    ListResourceTemplates::Parameters parameters{std::move(cursor)};
    Request<ListResourceTemplates> request(ID::random(), std::move(parameters));
    co_return co_await sendChecked(std::move(request), &resourcesCapability);
}

asio::awaitable<ListTools::Result> Client::listTools(std::optional<std::string> cursor) {
    ListTools::Parameters parameters{std::move(cursor)};
    Request<ListTools> request(ID::random(), std::move(parameters));
    co_return co_await sendChecked(std::move(request), &toolsCapability);
}

asio::awaitable<CallTool::Result> Client::callTool(std::string name,
                                                   std::optional<std::map<std::string, Value>> arguments) {
    CallTool::Parameters parameters{std::move(name), std::move(arguments)};
    Request<CallTool> request(ID::random(), std::move(parameters));
    co_return co_await sendChecked(std::move(request), &toolsCapability);
}

}  // namespace lumenary::mcp
