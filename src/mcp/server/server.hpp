#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <variant>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/dispatch.hpp>
#include <asio/strand.hpp>

#include "async/on_strand.hpp"
#include "async/task.hpp"
#include "mcp/core/client_capabilities.hpp"
#include "mcp/core/create_sampling_message.hpp"
#include "mcp/core/handler_box.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/message_classification.hpp"
#include "mcp/core/server_capabilities.hpp"
#include "mcp/core/peer_configuration.hpp"
#include "mcp/core/peer_info.hpp"
#include "mcp/core/transport.hpp"
#include "mcp/server/server_batch.hpp"

namespace lumenary::mcp {

// The server end of one MCP connection. It reads whole messages from its
// transport, dispatches each request and notification to the handler
// registered under its method name, and sends the replies back through the
// same transport, one message at a time.
//
// Its strand guards all its state: awaitable members hop there, handler
// registration is dispatched there, and the loop and its handlers run there.
class Server : public std::enable_shared_from_this<Server> {
public:
    using Info = ServerInfo;
    using Capabilities = ServerCapabilities;
    using Configuration = ServerConfiguration;
    using Batch = ServerBatch;
    // Called by "initialize" with what the client announced, before the
    // server counts as initialised; a failure refuses the request.
    using InitializeHook = std::function<asio::awaitable<void>(ClientInfo, ClientCapabilities)>;

    static std::shared_ptr<Server> create(asio::any_io_executor executor, std::string name, std::string version,
                                          std::optional<std::string> instructions, Capabilities capabilities,
                                          Configuration configuration);

    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    const std::string& name() const noexcept { return serverInfo_.name; }
    const std::string& version() const noexcept { return serverInfo_.version; }
    const std::optional<std::string>& instructions() const noexcept { return instructions_; }

    asio::awaitable<Capabilities> capabilities();
    asio::awaitable<void> setCapabilities(Capabilities capabilities);
    asio::awaitable<Configuration> configuration();
    asio::awaitable<void> setConfiguration(Configuration configuration);

    // What the client announced in "initialize", once it has.
    asio::awaitable<bool> isInitialized();
    asio::awaitable<std::optional<ClientInfo>> clientInfo();
    asio::awaitable<std::optional<ClientCapabilities>> clientCapabilities();
    asio::awaitable<std::optional<std::string>> protocolVersion();

    // Binds the transport, installs the built-in "initialize" and "ping"
    // handlers, connects, and starts the message loop in the background.
    // Fails with the transport's error when it cannot connect.
    asio::awaitable<void> start(std::shared_ptr<Transport> transport, InitializeHook initializeHook = {});

    // Cancels the loop and disconnects the transport; does not wait for the
    // loop to end.
    asio::awaitable<void> stop();

    // Ends when the message loop has ended (at once when it never started).
    asio::awaitable<void> waitForCompletion();

    // The handler gets the typed parameters; what it throws becomes the
    // error reply. A second handler for a name replaces the first.
    //
    // Registration may come from any thread, before start or after it: it
    // is dispatched onto the strand and applies in order with the server's
    // other work there, so "initialize" or "ping" registered before start
    // are replaced by the built-ins. A message the loop takes from the
    // transport before the registration has run meets the handler it
    // replaces.
    template <Method M>
    Server& registerMethodHandler(std::function<asio::awaitable<typename M::Result>(typename M::Parameters)> handler) {
        std::shared_ptr<RequestHandlerBox> box = std::make_shared<TypedResultHandler<M>>(std::move(handler));
        asio::dispatch(strand_, [self = shared_from_this(), box = std::move(box)]() mutable {
            self->methodHandlers_[std::string(M::name)] = std::move(box);
        });
        return *this;
    }

    // Every handler registered for a name runs, in registration order.
    template <Notification N>
    Server& registerNotificationHandler(std::function<asio::awaitable<void>(Message<N>)> handler) {
        std::shared_ptr<NotificationHandlerBox> box = std::make_shared<TypedNotificationHandler<N>>(std::move(handler));
        asio::dispatch(strand_, [self = shared_from_this(), box = std::move(box)]() mutable {
            self->notificationHandlers_[std::string(N::name)].push_back(std::move(box));
        });
        return *this;
    }

    template <Method M>
    asio::awaitable<void> sendResponse(Response<M> response) {
        co_await sendValue(encodeValue(response), response.id);
    }

    template <Notification N>
    asio::awaitable<void> sendNotification(Message<N> message) {
        co_await sendValue(encodeValue(message), std::nullopt);
    }

    // Sampling needs requests from server to client, which no transport
    // here carries yet: this always fails, and sends nothing.
    asio::awaitable<CreateSamplingMessage::Result> requestSampling(CreateSamplingMessage::Parameters parameters);

private:
    Server(asio::any_io_executor executor, Info info, std::optional<std::string> instructions,
           Capabilities capabilities, Configuration configuration);

    // The connection's logger, kept while connected so that no message
    // pays for a copy of it.
    const std::optional<logging::Logger>& logger() const { return connectionLogger_; }

    // Sends the message, a reply to the request with `answeredRequest` when
    // there is one, so that a transport can route it without reading it.
    asio::awaitable<void> sendValue(Value message, std::optional<ID> answeredRequest);
    // For the loop, already on the strand: the transport's own send, with no
    // frame of its own. The loop keeps the transport alive while it waits.
    asio::awaitable<void> sendOnStrand(SentMessage message);

    // The loop's path for one message, by stage. dispatchMessage classifies
    // it once and hands a request to answerRequest, which awaits its handler
    // and sends the reply carrying its id; routeMessage hands on a
    // notification or a batch and fails with a parse error for anything
    // else. A failure on the way comes back to dispatchMessage, which has
    // refuseMessage log it and answer it unless the message was a
    // notification. The request's path is kept to two coroutine frames of
    // its own: each costs more than the rest of a ping's dispatch.
    asio::awaitable<void> messageLoop(std::shared_ptr<Transport> transport);
    asio::awaitable<void> dispatchMessage(ReceivedMessage message);
    asio::awaitable<void> answerRequest(Request<AnyMethod> request);
    asio::awaitable<void> routeMessage(Value& message, MessageKind kind);
    asio::awaitable<void> refuseMessage(std::exception_ptr failure, bool isAnswered, std::optional<ID> id);
    // The error reply to a message, under `id` or else a fresh one; a failure
    // to send it is dropped.
    asio::awaitable<void> answerFailure(std::exception_ptr failure, std::optional<ID> id);
    // The replies to a batch's requests go out as one array that answers
    // their ids.
    asio::awaitable<void> dispatchBatch(const Value& message);
    // Where a request goes: its method's handler, or the reply it gets at
    // once when no handler will run (its id is then moved into the reply).
    // Only a server not yet initialised (when strict) throws.
    std::variant<std::shared_ptr<RequestHandlerBox>, Response<AnyMethod>> routeRequest(Request<AnyMethod>& request,
                                                                                        bool isBatchItem);
    // The reply to one request of a batch, the handler's failure included;
    // throws as routeRequest does.
    asio::awaitable<Response<AnyMethod>> dispatchRequest(Request<AnyMethod> request, bool isBatchItem);
    asio::awaitable<void> dispatchNotification(Message<AnyNotification> message);
    void requireInitialized() const;

    void registerBuiltInHandlers(InitializeHook initializeHook);
    void recordInitialization(ClientInfo clientInfo, ClientCapabilities clientCapabilities,
                              std::string protocolVersion);

    asio::strand<asio::any_io_executor> strand_;
    const Info serverInfo_;
    const std::optional<std::string> instructions_;

    // Strand-owned.
    std::shared_ptr<Transport> connection_;
    std::optional<logging::Logger> connectionLogger_;
    Capabilities capabilities_;
    Configuration configuration_;
    bool isInitialized_ = false;
    std::optional<ClientInfo> clientInfo_;
    std::optional<ClientCapabilities> clientCapabilities_;
    std::optional<std::string> protocolVersion_;
    std::map<std::string, std::unordered_set<ID>> subscriptions_;
    std::optional<async::Task> task_;
    // Dispatch copies a box out before awaiting it, so a box replaced
    // meanwhile lives until its call ends.
    std::map<std::string, std::shared_ptr<RequestHandlerBox>> methodHandlers_;
    std::map<std::string, std::vector<std::shared_ptr<NotificationHandlerBox>>> notificationHandlers_;
};

}  // namespace lumenary::mcp
