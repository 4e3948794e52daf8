#include "app/host/stdio_proxy.hpp"

#include <poll.h>

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
#include "mcp/core/utf8.hpp"
#include "system/write_all.hpp"

namespace lumenary::app {

namespace {

using mcp::Value;

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

// The ids of the requests in a message that wait for a reply: one for a
// request, one per request of a batch, none for a notification or for a
// client's own reply to the server. A message that is no JSON has none the
// proxy can name.
struct AwaitedReplies {
    std::vector<Value> ids;
    bool isBatch = false;
};

std::optional<Value> awaitedID(const Value& message) {
    const Value* id = message.find("id");
    if (id == nullptr || message.find("method") == nullptr) {
        return std::nullopt;
    }
    return *id;
}

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

bool isJSONRPCReply(const Value& value) {
    const Value* version = value.find("jsonrpc");
    const std::string* text = version ? version->stringValue() : nullptr;
    return text != nullptr && *text == "2.0" && (value.find("result") != nullptr || value.find("error") != nullptr);
}

bool isJSONRPCReplyBody(const Value& body) {
    if (const auto* batch = body.arrayValue()) {
        if (batch->empty()) return false;
        for (const auto& element : *batch) {
            if (!isJSONRPCReply(element)) return false;
        }
        return true;
    }
    return isJSONRPCReply(body);
}

std::string statusDescription(const platform::HTTPClientResponse& response) {
    std::string description = "HTTP status " + std::to_string(response.status);
    if (!response.body.empty() && response.body.size() <= maximumQuotedBodyLength && mcp::isValidUTF8(response.body)) {
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
    : port_(port), baseURL_(localEndpointURL(port)), streams_(streams), timing_(timing) {}

std::optional<std::string> StdioProxy::sessionID() const {
    std::lock_guard lock(sessionMutex_);
    return sessionID_;
}

void StdioProxy::setSessionID(std::string id) {
    std::lock_guard lock(sessionMutex_);
    sessionID_ = std::move(id);
}

bool StdioProxy::checkServerRunning() {
    return answersAsServing(controlClient_, baseURL_, timing_.check);
}

int StdioProxy::run() {
    if (!checkServerRunning()) {
        writeDiagnostic(std::string(notRunningLine));
        isRunning_ = false;
        return 0;
    }
    InputLineSplitter splitter(maximumMessageLength);
    std::vector<char> buffer(readBufferSize);
    while (isRunning_ && !instanceLost_ && !outputClosed_) {
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
    if (instanceLost_) {
        std::lock_guard lock(lossMutex_);
        writeDiagnostic("[StdioProxy] The Lumenary server at " + baseURL_ +
                        " stopped accepting connections; ending the relay: " + lossDescription_);
        return instanceLostExitStatus;
    }
    endSession();
    return 0;
}

std::size_t StdioProxy::readInput(char* buffer, std::size_t capacity) {
    for (;;) {
        const ssize_t count = ::read(streams_.input, buffer, capacity);
        if (count >= 0) {
            return static_cast<std::size_t>(count);
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            waitUntilReady(streams_.input, POLLIN);
            continue;
        }
        writeDiagnostic(std::string("[StdioProxy] Reading the input failed, ending the relay: ") +
                        std::error_code(errno, std::generic_category()).message());
        return 0;
    }
}

void StdioProxy::handleLine(std::string line) {
    if (isBlank(line)) {
        return;
    }
    // Answered, not dropped: a client whose bytes vanish waits for ever.
    if (!mcp::isValidUTF8(line)) {
        writeReply(parseErrorLine("the message is not valid UTF-8"));
        return;
    }
    if (instanceLost_) {
        std::string description;
        {
            std::lock_guard lock(lossMutex_);
            description = lossDescription_;
        }
        answerWithError(line, "Failed to forward request: " + description);
        return;
    }
    forward(std::move(line));
}

void StdioProxy::forward(std::string message) {
    auto shared = std::make_shared<const std::string>(std::move(message));
    auto handled = std::make_shared<std::promise<void>>();
    auto replied = handled->get_future();
    try {
        workers_.post([this, shared, handled](platform::HTTPClient& client) {
            relay(*shared, client);
            handled->set_value();
        });
    } catch (const std::exception& error) {
        answerWithError(*shared, std::string("Failed to forward request: ") + error.what());
        return;
    }
    replied.wait_for(timing_.replyWait);
}

void StdioProxy::relay(const std::string& message, platform::HTTPClient& client) {
    try {
        platform::HTTPClientRequest request{
            .method = "POST",
            .url = baseURL_,
            .headers = {{"Content-Type", "application/json"}, {"Accept", "application/json"}},
            .body = message,
            .timeouts = timing_.post};
        if (auto id = sessionID()) {
            request.headers.add("Mcp-Session-Id", std::move(*id));
        }
        auto result = client.send(request);
        if (const auto* error = std::get_if<platform::HTTPClientError>(&result)) {
            handleFailure(message, *error);
        } else {
            handleResponse(message, std::get<platform::HTTPClientResponse>(std::move(result)));
        }
    } catch (const std::exception& error) {
        answerWithError(message, std::string("Failed to forward request: ") + error.what());
    }
}

void StdioProxy::handleFailure(const std::string& message, const platform::HTTPClientError& error) {
    if (error.kind == platform::HTTPClientError::Kind::couldNotConnect) {
        std::lock_guard lock(lossMutex_);
        if (!instanceLost_) {
            lossDescription_ = error.description;
        }
        instanceLost_ = true;
    } else {
        writeDiagnostic("[StdioProxy] Failed to forward request: " + error.description);
    }
    answerWithError(message, "Failed to forward request: " + error.description);
}

void StdioProxy::handleResponse(const std::string& message, platform::HTTPClientResponse response) {
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
    writeDiagnostic("[StdioProxy] The Lumenary server answered " + statusDescription(response));
    Value body;
    try {
        body = mcp::parseJSON(response.body);
    } catch (const std::exception&) {
        answerWithError(message, "Failed to forward request: " + statusDescription(response));
        return;
    }
    if (!isJSONRPCReplyBody(body)) {
        answerWithError(message, "Failed to forward request: " + statusDescription(response));
        return;
    }
    // The instance could not read the id of a request it failed to handle;
    // without it the client could not match the error to its request.
    const Value* id = body.find("id");
    auto awaited = awaitedReplies(message);
    if (id != nullptr && id->isNull() && !awaited.isBatch && awaited.ids.size() == 1) {
        body.objectValue()->insert_or_assign("id", std::move(awaited.ids.front()));
        writeReply(mcp::writeJSON(body));
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
    std::string safeDescription = mcp::isValidUTF8(description) ? description : std::string("(unreadable description)");
    if (!awaited.isBatch) {
        writeReply(mcp::writeJSON(errorReply(std::move(awaited.ids.front()), internalErrorCode, safeDescription)));
        return;
    }
    Value::Array replies;
    for (auto& id : awaited.ids) {
        replies.push_back(errorReply(std::move(id), internalErrorCode, safeDescription));
    }
    writeReply(mcp::writeJSON(Value(std::move(replies))));
}

void StdioProxy::endSession() {
    const auto id = sessionID();
    if (!id) {
        return;
    }
    const auto result = controlClient_.send({.method = "DELETE",
                                             .url = baseURL_,
                                             .headers = {{"Mcp-Session-Id", *id}},
                                             .body = {},
                                             .timeouts = timing_.sessionEnd});
    if (const auto* error = std::get_if<platform::HTTPClientError>(&result)) {
        writeDiagnostic("[StdioProxy] Could not end session " + *id + ": " + error->description);
    } else if (const auto& response = std::get<platform::HTTPClientResponse>(result);
               response.status < 200 || response.status >= 300) {
        writeDiagnostic("[StdioProxy] Could not end session " + *id + ": " + statusDescription(response));
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
    if (const int failure = system::writeAll(streams_.output, line); failure != 0) {
        outputClosed_ = true;
        writeDiagnostic(std::string("[StdioProxy] Writing a reply failed, ending the relay: ") +
                        std::error_code(failure, std::generic_category()).message());
    }
}

void StdioProxy::writeDiagnostic(std::string line) {
    line.push_back('\n');
    std::lock_guard lock(diagnosticsMutex_);
    static_cast<void>(system::writeAll(streams_.diagnostics, line));
}

}  // namespace lumenary::app
