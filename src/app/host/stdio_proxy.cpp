#include "app/host/stdio_proxy.hpp"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <future>
#include <memory>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "app/host/input_line_splitter.hpp"
#include "app/host/local_endpoint.hpp"
#include "app/host/local_server_probe.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/mcp_error.hpp"
#include "mcp/core/message_classification.hpp"
#include "system/utf8.hpp"
#include "system/write_all.hpp"

namespace lumenary::app {

namespace {

using mcp::Value;

constexpr std::string_view consolePrefix = "[StdioProxy] ";
constexpr std::size_t readBufferSize = 64 * 1024;
// An instance's plain-text error body is shown to the client up to here.
constexpr std::size_t maximumQuotedBodyLength = 200;
constexpr std::int64_t internalErrorCode = -32603;

bool isBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

// Waits until `descriptor` is ready, for descriptors left non-blocking by
// whoever started the process.
void waitUntilReady(int descriptor, short events) {
    pollfd entry{descriptor, events, 0};
    while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
}

// The id the client waits for an answer under: a request's, or the readable
// id of a message the instance refuses. A notification and the client's own
// replies to the instance's requests wait for nothing.
std::optional<mcp::ID> awaitedID(const Value& message) {
    auto classification = mcp::classifyMessage(message);
    if (classification.kind != mcp::MessageKind::request && classification.kind != mcp::MessageKind::invalid) {
        return std::nullopt;
    }
    return std::move(classification.id);
}

// The ids a message waits for answers under: one for a single message, one
// per waiting element of a batch. A message that is no JSON has none the
// proxy can name.
struct AwaitedReplies {
    std::vector<mcp::ID> ids;
    bool isBatch = false;
};

AwaitedReplies awaitedReplies(std::string_view message) {
    AwaitedReplies replies;
    Value parsed;
    try {
        parsed = mcp::parseJSON(message);
    } catch (const std::exception&) {
        return replies;
    }
    if (const auto* batch = parsed.arrayValue()) {
        replies.isBatch = true;
        for (const auto& element : *batch) {
            if (auto id = awaitedID(element)) replies.ids.push_back(std::move(*id));
        }
    } else if (auto id = awaitedID(parsed)) {
        replies.ids.push_back(std::move(*id));
    }
    return replies;
}

Value errorReply(Value id, std::int64_t code, std::string message) {
    return Value::object({{"jsonrpc", "2.0"},
                          {"id", std::move(id)},
                          {"error", Value::object({{"code", code}, {"message", std::move(message)}})}});
}

bool isReply(const mcp::MessageClassification& classification) {
    return classification.kind == mcp::MessageKind::response || classification.kind == mcp::MessageKind::errorResponse;
}

bool isReplyBody(const Value& body) {
    if (const auto* batch = body.arrayValue()) {
        return !batch->empty() &&
               std::ranges::all_of(*batch, [](const Value& reply) { return isReply(mcp::classifyMessage(reply)); });
    }
    return isReply(mcp::classifyMessage(body));
}

std::string statusDescription(const http_client::HTTPClientResponse& response) {
    std::string description = "HTTP status " + std::to_string(response.status);
    if (!response.body.empty() && response.body.size() <= maximumQuotedBodyLength && system::isValidUTF8(response.body)) {
        description += ": ";
        description += response.body;
    }
    return description;
}

std::string parseErrorLine(const std::string& detail) {
    return mcp::writeJSON(
        errorReply(nullptr, mcp::MCPError::parseError().code(), mcp::MCPError::parseError(detail).errorDescription()));
}

}  // namespace

StdioProxy::StdioProxy(std::uint16_t port, StdioProxyStreams streams, StdioProxyTiming timing)
    : port_(port),
      baseURL_(localEndpointURL(port)),
      input_(streams.input),
      output_(streams.output),
      timing_(timing),
      console_(streams.diagnostics.withPrefix(std::string(consolePrefix))) {}

std::optional<std::string> StdioProxy::sessionID() const {
    std::lock_guard lock(sessionMutex_);
    return sessionID_;
}

void StdioProxy::setSessionID(std::string id) {
    std::lock_guard lock(sessionMutex_);
    sessionID_ = std::move(id);
}

bool StdioProxy::checkServerRunning() {
    return answersAsServing(port_, timing_.check);
}

void StdioProxy::run() {
    if (!checkServerRunning()) {
        // A JSON-RPC text of its own, so without the console's prefix.
        console_.withPrefix({}).print(notRunningLine);
        isRunning_ = false;
        return;
    }
    InputLineSplitter splitter(maximumMessageLength);
    std::vector<char> buffer(readBufferSize);
    while (isRunning_ && !outputClosed_) {
        const std::size_t count = readInput(buffer.data(), buffer.size());
        if (count == 0) {
            if (auto last = splitter.finish()) {
                handleLine(std::move(last->text));
            }
            break;
        }
        for (auto& line : splitter.feed({buffer.data(), count})) {
            if (line.overLimit) {
                writeReply(
                    parseErrorLine("the message is longer than " + std::to_string(maximumMessageLength) + " bytes"));
            } else {
                handleLine(std::move(line.text));
            }
        }
    }
    isRunning_ = false;
    // Replies that came too late for their wait are still on their way.
    workers_.waitUntilIdle();
    endSession();
}

std::size_t StdioProxy::readInput(char* buffer, std::size_t capacity) {
    for (;;) {
        const ssize_t count = ::read(input_, buffer, capacity);
        if (count >= 0) {
            return static_cast<std::size_t>(count);
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            waitUntilReady(input_, POLLIN);
            continue;
        }
        console_.print("Reading the input failed, ending the relay: ",
                       std::error_code(errno, std::generic_category()).message());
        return 0;
    }
}

void StdioProxy::handleLine(std::string line) {
    if (isBlank(line)) {
        return;
    }
    // Answered, not dropped: a client whose bytes vanish waits for ever.
    if (!system::isValidUTF8(line)) {
        writeReply(parseErrorLine("the message is not valid UTF-8"));
        return;
    }
    forward(std::move(line));
}

void StdioProxy::forward(std::string message) {
    auto shared = std::make_shared<const std::string>(std::move(message));
    auto handled = std::make_shared<std::promise<void>>();
    auto replied = handled->get_future();
    try {
        workers_.post([this, shared, handled](http_client::HTTPClient& client) {
            relay(*shared, client);
            handled->set_value();
        });
    } catch (const std::exception& error) {
        answerWithError(*shared, std::string("Failed to forward request: ") + error.what());
        return;
    }
    replied.wait_for(timing_.replyWait);
}

void StdioProxy::relay(const std::string& message, http_client::HTTPClient& client) {
    try {
        http_client::HTTPClientRequest request{
            .method = "POST",
            .url = baseURL_,
            .headers = {{"Content-Type", "application/json"}, {"Accept", "application/json"}},
            .body = message,
            .timeouts = timing_.post};
        if (auto id = sessionID()) {
            request.headers.add("Mcp-Session-Id", std::move(*id));
        }
        auto result = client.send(request);
        if (const auto* error = std::get_if<http_client::HTTPClientError>(&result)) {
            handleFailure(message, *error);
        } else {
            handleResponse(message, std::get<http_client::HTTPClientResponse>(std::move(result)));
        }
    } catch (const std::exception& error) {
        answerWithError(message, std::string("Failed to forward request: ") + error.what());
    }
}

void StdioProxy::handleFailure(const std::string& message, const http_client::HTTPClientError& error) {
    if (error.kind != http_client::HTTPClientError::Kind::couldNotConnect) {
        console_.print("Failed to forward request: ", error.description);
    } else if (!instanceUnreachable_.exchange(true)) {
        // Once, not for each of the lines a client may still have queued.
        console_.print(
            "The Lumenary server at ", baseURL_,
            " stopped accepting connections; each request gets an error until it serves again: ", error.description);
    }
    answerWithError(message, "Failed to forward request: " + error.description);
}

void StdioProxy::handleResponse(const std::string& message, http_client::HTTPClientResponse response) {
    if (instanceUnreachable_.exchange(false)) {
        console_.print("The Lumenary server at ", baseURL_, " serves again");
    }
    if (auto id = response.headers.value("Mcp-Session-Id")) {
        setSessionID(std::move(*id));
    }
    if (response.status == 200) {
        if (!response.body.empty()) {
            writeReply(std::move(response.body));
        }
        return;
    }
    // Accepted notifications and the client's own replies to the server.
    if (response.status >= 200 && response.status < 300) {
        return;
    }
    console_.print("The Lumenary server answered ", statusDescription(response));
    Value body;
    try {
        body = mcp::parseJSON(response.body);
    } catch (const std::exception&) {
        answerWithError(message, "Failed to forward request: " + statusDescription(response));
        return;
    }
    if (!isReplyBody(body)) {
        answerWithError(message, "Failed to forward request: " + statusDescription(response));
        return;
    }
    // An instance that could not read the id of a request it failed to
    // handle answers under null; the client could not match that error to
    // its request, so it gets the request's own id.
    auto awaited = awaitedReplies(message);
    if (body.objectValue() != nullptr && !awaited.isBatch && awaited.ids.size() == 1 &&
        mcp::classifyMessage(body).id != awaited.ids.front()) {
        body.objectValue()->insert_or_assign("id", mcp::encodeValue(awaited.ids.front()));
        writeReply(mcp::writeJSON(body));
        return;
    }
    // One error for a whole batch answers none of its requests: each gets
    // the instance's error under its own id.
    if (body.objectValue() != nullptr && awaited.isBatch && !awaited.ids.empty()) {
        Value::Array replies;
        for (const auto& id : awaited.ids) {
            Value reply = body;
            reply.objectValue()->insert_or_assign("id", mcp::encodeValue(id));
            replies.push_back(std::move(reply));
        }
        writeReply(mcp::writeJSON(Value(std::move(replies))));
        return;
    }
    writeReply(std::move(response.body));
}

void StdioProxy::answerWithError(const std::string& message, const std::string& description) {
    auto awaited = awaitedReplies(message);
    if (awaited.ids.empty()) {
        return;
    }
    // The description comes from the network library or the instance and
    // may be anything; the JSON writer escapes it.
    std::string safeDescription = system::isValidUTF8(description) ? description : std::string("(unreadable description)");
    if (!awaited.isBatch) {
        writeReply(
            mcp::writeJSON(errorReply(mcp::encodeValue(awaited.ids.front()), internalErrorCode, safeDescription)));
        return;
    }
    Value::Array replies;
    for (const auto& id : awaited.ids) {
        replies.push_back(errorReply(mcp::encodeValue(id), internalErrorCode, safeDescription));
    }
    writeReply(mcp::writeJSON(Value(std::move(replies))));
}

void StdioProxy::endSession() {
    const auto id = sessionID();
    // A session ends with the instance that held it.
    if (!id || instanceUnreachable_) {
        return;
    }
    const auto result = controlClient_.send({.method = "DELETE",
                                             .url = baseURL_,
                                             .headers = {{"Mcp-Session-Id", *id}},
                                             .body = {},
                                             .timeouts = timing_.sessionEnd});
    if (const auto* error = std::get_if<http_client::HTTPClientError>(&result)) {
        console_.print("Could not end session ", *id, ": ", error->description);
    } else if (const auto& response = std::get<http_client::HTTPClientResponse>(result);
               response.status < 200 || response.status >= 300) {
        console_.print("Could not end session ", *id, ": ", statusDescription(response));
    }
}

void StdioProxy::writeReply(std::string line) {
    line.push_back('\n');
    // One reply at a time, text and line end in one write: replies that
    // complete together never interleave.
    std::lock_guard lock(outputMutex_);
    if (outputClosed_) {
        return;
    }
    if (const int failure = system::writeAll(output_, line); failure != 0) {
        outputClosed_ = true;
        console_.print("Writing a reply failed, ending the relay: ",
                       std::error_code(failure, std::generic_category()).message());
    }
}

}  // namespace lumenary::app
