#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/dispatch.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>

#include "async/on_strand.hpp"
#include "async/task.hpp"
#include "logging/logger.hpp"
#include "mcp/client/client_batch.hpp"
#include "mcp/client/pending_request.hpp"
#include "mcp/core/client_capabilities.hpp"
#include "mcp/core/peer_configuration.hpp"
#include "mcp/core/peer_info.hpp"
#include "mcp/core/create_sampling_message.hpp"
#include "mcp/core/handler_box.hpp"
#include "mcp/core/handshake.hpp"
#include "mcp/core/server_capabilities.hpp"
#include "mcp/core/transport.hpp"
#include "mcp/server/prompt_methods.hpp"
#include "mcp/server/resource_methods.hpp"
#include "mcp/server/tool_methods.hpp"

namespace lumenary::mcp {

// The client end of one MCP connection. It connects a transport, makes the
// "initialize" handshake, sends requests and matches each response to its
// request by id, and hands the server's notifications to the handlers
// registered for them. Requests the server sends are answered: "ping" at
// once, "sampling/createMessage" by the sampling handler, anything else
// with "method not found".
//
// Its strand guards all its state: awaitable members hop there, handler
// registration is dispatched there, and the message loop and the handlers it
// calls run there. Requests have no time-out; they end with their response, when the
// connection ends, or when the client disconnects. The message loop keeps
// the client alive until one of the last two happens.
class Client : public std::enable_shared_from_this<Client> {
public:
    using Info = ClientInfo;
    using Capabilities = ClientCapabilities;
    using Configuration = ClientConfiguration;
    using Batch = ClientBatch;
    using SamplingHandler =
        std::function<asio::awaitable<CreateSamplingMessage::Result>(CreateSamplingMessage::Parameters)>;

    static std::shared_ptr<Client> create(asio::any_io_executor executor, std::string name, std::string version,
                                          Configuration configuration = Configuration::defaultConfiguration());

    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    const Info& clientInfo() const noexcept { return clientInfo_; }
    const std::string& name() const noexcept { return clientInfo_.name; }
    const std::string& version() const noexcept { return clientInfo_.version; }

    // What "initialize" announces; set it before connecting.
    asio::awaitable<Capabilities> capabilities();
    asio::awaitable<void> setCapabilities(Capabilities capabilities);
    asio::awaitable<Configuration> configuration();
    asio::awaitable<void> setConfiguration(Configuration configuration);

    // What the server answered in the latest handshake: its capabilities,
    // the protocol version it chose and its instructions.
    asio::awaitable<std::optional<ServerCapabilities>> serverCapabilities();
    asio::awaitable<std::optional<std::string>> serverVersion();
    asio::awaitable<std::optional<std::string>> instructions();

    // Attaches and connects the transport, starts reading from it, and makes
    // the handshake. A transport that fails to connect stays attached, so a
    // later disconnect() still reaches it.
    asio::awaitable<Initialize::Result> connect(std::shared_ptr<Transport> transport);

    // Fails every waiting request with "Client disconnected", stops the
    // message loop and disconnects the transport. Never fails.
    asio::awaitable<void> disconnect();

    // Every handler registered for a name runs, in registration order; one
    // that fails is logged and the next still runs. Registration may come
    // from any thread: it is dispatched onto the strand and applies in order
    // with the client's other work there, so one made before connect() is in
    // place for the first message.
    template <Notification N>
    Client& onNotification(std::function<asio::awaitable<void>(Message<N>)> handler) {
        std::shared_ptr<NotificationHandlerBox> box = std::make_shared<TypedNotificationHandler<N>>(std::move(handler));
        asio::dispatch(strand_, [self = shared_from_this(), box = std::move(box)]() mutable {
            self->notificationHandlers_[std::string(N::name)].push_back(std::move(box));
        });
        return *this;
    }

    // Answers the server's "sampling/createMessage" requests; a second
    // handler replaces the first. Announcing the sampling capability is the
    // caller's choice (setCapabilities).
    Client& withSamplingHandler(SamplingHandler handler);

    template <Notification N>
    asio::awaitable<void> notify(Message<N> message) {
        Value encoded = encodeValue(message);
        co_await async::onStrand(strand_, notifyOnStrand(shared_from_this(), std::move(encoded)));
    }

    // Sends the request and waits for its response. The request is filed
    // under its id before it is sent; an id that is already waiting is
    // refused.
    template <Method M>
    asio::awaitable<typename M::Result> send(Request<M> request) {
        return sendChecked(std::move(request), nullptr);
    }

    // Runs body with a batch, then sends every request it added as one JSON
    // array. Each request's result arrives through the handle addRequest
    // returned. When nothing can be sent (body or transport failed), those
    // handles fail with the same error.
    asio::awaitable<void> withBatch(std::function<asio::awaitable<void>(Batch&)> body);

    // The handshake: sent by connect(), and again whenever called.
    asio::awaitable<Initialize::Result> initialize();

    // The typed requests. With a strict configuration each one but ping
    // first checks that the server announced what it needs.
    asio::awaitable<void> ping();
    asio::awaitable<GetPrompt::Result> getPrompt(std::string name,
                                                 std::optional<std::map<std::string, Value>> arguments = std::nullopt);
    asio::awaitable<ListPrompts::Result> listPrompts(std::optional<std::string> cursor = std::nullopt);
    asio::awaitable<ReadResource::Result> readResource(std::string uri);
    asio::awaitable<ListResources::Result> listResources(std::optional<std::string> cursor = std::nullopt);
    asio::awaitable<void> subscribeToResource(std::string uri);
    asio::awaitable<ListResourceTemplates::Result> listResourceTemplates(
        std::optional<std::string> cursor = std::nullopt);
    asio::awaitable<ListTools::Result> listTools(std::optional<std::string> cursor = std::nullopt);
    asio::awaitable<CallTool::Result> callTool(std::string name,
                                               std::optional<std::map<std::string, Value>> arguments = std::nullopt);

private:
    friend class ClientBatch;

    // A server capability a typed request needs, as the strict check tests it.
    struct RequiredCapability {
        const char* displayName;
        bool (*isAnnounced)(const ServerCapabilities&);
    };
    static const RequiredCapability promptsCapability;
    static const RequiredCapability resourcesCapability;
    static const RequiredCapability resourceSubscriptionCapability;
    static const RequiredCapability toolsCapability;

    Client(asio::any_io_executor executor, Info info, Configuration configuration);

    // send(), after the strict check of `capability` when one is given; the
    // check runs in the same hop onto the strand as the sending.
    template <Method M>
    asio::awaitable<typename M::Result> sendChecked(Request<M> request, const RequiredCapability* capability) {
        PendingRequest<typename M::Result> pending;
        Value encoded = encodeValue(request);
        co_await async::onStrand(strand_, sendOnStrand(shared_from_this(), capability, std::move(request.id),
                                                       std::move(encoded), pending.erased()));
        co_return co_await pending.wait();
    }

    // The attached transport's logger; absent while none is attached.
    std::optional<logging::Logger> logger() const;
    // The transport to send through: fails when none is attached or when the
    // connection has ended.
    std::shared_ptr<Transport> usableConnection() const;
    void addPendingRequest(const ID& id, const AnyPendingRequest& pending);
    // Takes the entry out and fails it, unless another request owns the id by now.
    void failPendingRequest(const ID& id, const AnyPendingRequest& pending, std::exception_ptr error);

    static asio::awaitable<Initialize::Result> connectOnStrand(std::shared_ptr<Client> self,
                                                               std::shared_ptr<Transport> transport);
    static asio::awaitable<void> disconnectOnStrand(std::shared_ptr<Client> self);
    static asio::awaitable<void> sendOnStrand(std::shared_ptr<Client> self, const RequiredCapability* capability, ID id,
                                              Value request, AnyPendingRequest pending);
    static asio::awaitable<void> notifyOnStrand(std::shared_ptr<Client> self, Value message);
    static asio::awaitable<void> registerOnStrand(std::shared_ptr<Client> self, ID id, AnyPendingRequest pending);
    static asio::awaitable<std::shared_ptr<Transport>> batchConnectionOnStrand(std::shared_ptr<Client> self);
    static asio::awaitable<void> sendBatchOnStrand(std::shared_ptr<Client> self, std::shared_ptr<Transport> connection,
                                                   std::vector<Request<AnyMethod>> requests);
    static asio::awaitable<void> failBatchOnStrand(std::shared_ptr<Client> self,
                                                   std::vector<ClientBatch::Entry> entries, std::exception_ptr error);
    static asio::awaitable<void> recordHandshakeOnStrand(std::shared_ptr<Client> self, Initialize::Result result);

    // Strict mode only: fails with "method not found" when the server did
    // not announce the capability.
    void checkCapability(const RequiredCapability& capability) const;

    // Inbound: the loop and what it hands each message to.
    asio::awaitable<void> messageLoop(std::shared_ptr<Transport> transport, std::uint64_t generation);
    asio::awaitable<void> handleInbound(const std::shared_ptr<Transport>& transport, ReceivedMessage message);
    void handleResponse(const Response<AnyMethod>& response);
    void handleBatchResponse(const std::vector<Response<AnyMethod>>& responses);
    asio::awaitable<void> handleMessage(Message<AnyNotification> message);
    void startAnswering(std::shared_ptr<Transport> transport, Request<AnyMethod> request);
    static asio::awaitable<void> answerRequest(std::shared_ptr<Client> self, std::shared_ptr<Transport> transport,
                                               Request<AnyMethod> request);
    asio::awaitable<Response<AnyMethod>> responseTo(Request<AnyMethod> request);
    void endConnection(std::uint64_t generation, std::exception_ptr reason);
    // The transport lost the connection under its stream: what was sent
    // over it gets no answer. Messages it had already received are read
    // first, since answers may be among them.
    void handleConnectionReplaced(std::uint64_t generation);
    void failRequestsOfLostConnection();

    asio::strand<asio::any_io_executor> strand_;
    const Info clientInfo_;

    // Strand-owned.
    std::shared_ptr<Transport> connection_;
    Capabilities capabilities_;
    Configuration configuration_;
    std::optional<ServerCapabilities> serverCapabilities_;
    std::optional<std::string> serverVersion_;
    std::optional<std::string> instructions_;
    std::optional<async::Task> task_;
    std::unordered_map<ID, AnyPendingRequest> pendingRequests_;
    // Counts connections, so a loop that outlived its own only ends its own.
    std::uint64_t generation_ = 0;
    // Why the current connection's message loop ended; sends are refused from then on.
    std::exception_ptr connectionEnd_;
    // The stream the current message loop reads, and how many of its
    // messages came over a connection since lost and are still to be read.
    std::optional<async::Queue<ReceivedMessage>> inboundStream_;
    std::size_t messagesOfLostConnection_ = 0;

    // Dispatch copies a name's handlers out before running them.
    std::map<std::string, std::vector<std::shared_ptr<NotificationHandlerBox>>> notificationHandlers_;
    SamplingHandler samplingHandler_;
};

}  // namespace lumenary::mcp
