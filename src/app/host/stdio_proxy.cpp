#include "app/host/stdio_proxy.hpp"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <memory>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include <asio/buffer.hpp>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "app/host/local_endpoint.hpp"
#include "app/host/local_server_probe.hpp"
#include "async/timeout_error.hpp"
#include "async/with_timeout.hpp"
#include "async/worker_pool.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/mcp_error.hpp"
#include "mcp/core/message_classification.hpp"
#include "mcp/server/stdio_line_splitter.hpp"
#include "system/ignore_broken_pipe_signals.hpp"
#include "system/utf8.hpp"

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
    if (!response.body.empty() && response.body.size() <= maximumQuotedBodyLength &&
        system::isValidUTF8(response.body)) {
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
      inputDescriptor_(streams.input),
      outputDescriptor_(streams.output),
      timing_(timing),
      console_(streams.diagnostics.withPrefix(std::string(consolePrefix))) {}

StdioProxy::~StdioProxy() {
    closeStreams();
}

void StdioProxy::run() {
    if (!answersAsServing(port_, timing_.check)) {
        // A JSON-RPC text of its own, so without the console's prefix.
        console_.withPrefix({}).print(notRunningLine);
        return;
    }
    if (!openStreams()) {
        return;
    }
    auto ended = [console = console_](std::exception_ptr error) {
        if (!error) return;
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& failure) {
            console.print("The relay failed: ", failure.what());
        } catch (...) {
            console.print("The relay failed");
        }
    };
    asio::co_spawn(context_, relay(), std::move(ended));
    context_.run();
    closeStreams();
}

bool StdioProxy::openStreams() {
    // A client that closes its end of the pipe must end the relay in order,
    // not kill the process in the middle of a write.
    system::ignoreBrokenPipeSignals();
    // Duplicates, so closing them never closes the caller's descriptors.
    if (!savedInputFlags_.save(inputDescriptor_) || !savedOutputFlags_.save(outputDescriptor_)) {
        console_.print("Could not use the standard streams: ",
                       std::error_code(errno, std::generic_category()).message());
        closeStreams();
        return false;
    }
    const int input = ::fcntl(inputDescriptor_, F_DUPFD_CLOEXEC, 0);
    const int output = input < 0 ? -1 : ::fcntl(outputDescriptor_, F_DUPFD_CLOEXEC, 0);
    if (input < 0 || output < 0) {
        console_.print("Could not use the standard streams: ",
                       std::error_code(errno, std::generic_category()).message());
        if (input >= 0) ::close(input);
        closeStreams();
        return false;
    }
    input_.emplace(context_, input);
    output_.emplace(context_, output);
    // A descriptor whoever started the process left blocking or not: the
    // streams wait for it either way, and the old flags come back at the end.
    asio::error_code error;
    input_->non_blocking(true, error);
    if (!error) output_->non_blocking(true, error);
    if (error) {
        console_.print("Could not use the standard streams: ", error.message());
        closeStreams();
        return false;
    }
    return true;
}

void StdioProxy::closeStreams() {
    asio::error_code ignored;
    if (input_) input_->close(ignored);
    if (output_) output_->close(ignored);
    input_.reset();
    output_.reset();
    savedInputFlags_.restore();
    savedOutputFlags_.restore();
}

asio::awaitable<void> StdioProxy::relay() {
    using namespace asio::experimental::awaitable_operators;
    co_await (readLines() && writeAnswers());
    co_await endSession();
}

asio::awaitable<void> StdioProxy::readLines() {
    mcp::StdioLineSplitter splitter(maximumMessageLength, mcp::StdioLineSplitter::LineEnds::anyASCIIBreak);
    std::vector<char> buffer(readBufferSize);
    std::vector<std::string> lines;
    while (!outputClosed_) {
        asio::error_code error;
        const std::size_t count =
            co_await input_->async_read_some(asio::buffer(buffer), asio::redirect_error(asio::use_awaitable, error));
        lines.clear();
        splitter.feed({buffer.data(), count}, [&lines](std::string line) { lines.push_back(std::move(line)); });
        for (auto& line : lines) {
            if (outputClosed_) break;
            co_await handleLine(std::move(line));
        }
        if (error == asio::error::eof || error == asio::error::operation_aborted) {
            break;
        }
        if (error) {
            console_.print("Reading the input failed, ending the relay: ", error.message());
            break;
        }
    }
    if (!outputClosed_) {
        if (auto last = splitter.finish()) {
            co_await handleLine(std::move(*last));
        }
    }
    // Replies that came too late for their wait are still on their way.
    co_await allExchangesEnded();
    answers_.finish();
}

// One answer at a time, text and line end in one write: answers that
// complete together never interleave.
asio::awaitable<void> StdioProxy::writeAnswers() {
    while (auto line = co_await answers_.next()) {
        asio::error_code error;
        co_await asio::async_write(*output_, asio::buffer(*line), asio::redirect_error(asio::use_awaitable, error));
        if (error) {
            outputClosed_ = true;
            answers_.finish();
            console_.print("Writing a reply failed, ending the relay: ", error.message());
            // A client that stops reading has gone: its input is not read on.
            asio::error_code ignored;
            input_->cancel(ignored);
            co_return;
        }
    }
}

void StdioProxy::writeAnswer(std::string line) {
    line.push_back('\n');
    answers_.push(std::move(line));
}

asio::awaitable<void> StdioProxy::handleLine(std::string line) {
    // Only an over-long line arrives empty.
    if (line.empty()) {
        writeAnswer(parseErrorLine("the message is longer than " + std::to_string(maximumMessageLength) + " bytes"));
        co_return;
    }
    if (isBlank(line)) {
        co_return;
    }
    // Answered, not dropped: a client whose bytes vanish waits for ever.
    if (!system::isValidUTF8(line)) {
        writeAnswer(parseErrorLine("the message is not valid UTF-8"));
        co_return;
    }
    co_await forward(std::move(line));
}

asio::awaitable<void> StdioProxy::forward(std::string message) {
    async::OneShot<void> handled;
    ++exchangesUnderWay_;
    asio::co_spawn(context_, exchange(std::move(message), handled), asio::detached);
    try {
        co_await async::withTimeout(handled.wait(), timing_.replyWait, "waiting for a reply");
    } catch (const async::TimeoutError&) {
    }
}

asio::awaitable<void> StdioProxy::exchange(std::string message, async::OneShot<void> handled) {
    try {
        http_client::HTTPClientRequest request{
            .method = "POST",
            .url = baseURL_,
            .headers = {{"Content-Type", "application/json"}, {"Accept", "application/json"}},
            .body = message,
            .timeouts = timing_.post};
        if (sessionID_) {
            request.headers.add("Mcp-Session-Id", *sessionID_);
        }
        auto exchanged = co_await send(std::move(request));
        if (const auto* error = std::get_if<http_client::HTTPClientError>(&exchanged.result)) {
            handleFailure(message, *error);
        } else {
            handleResponse(message, std::get<http_client::HTTPClientResponse>(std::move(exchanged.result)));
        }
    } catch (const std::exception& error) {
        answerWithError(message, std::string("Failed to forward request: ") + error.what());
    }
    handled.resume();
    if (--exchangesUnderWay_ == 0 && lastExchangeEnded_) {
        lastExchangeEnded_->resume();
    }
}

asio::awaitable<void> StdioProxy::allExchangesEnded() {
    if (exchangesUnderWay_ == 0) {
        co_return;
    }
    lastExchangeEnded_.emplace();
    co_await lastExchangeEnded_->wait();
}

asio::awaitable<StdioProxy::Exchanged> StdioProxy::send(http_client::HTTPClientRequest request) {
    std::unique_ptr<http_client::HTTPClient> client;
    if (idleClients_.empty()) {
        client = std::make_unique<http_client::HTTPClient>();
    } else {
        client = std::move(idleClients_.back());
        idleClients_.pop_back();
    }
    auto work = [client = std::move(client), request = std::move(request)]() mutable {
        auto result = client->send(request);
        return Exchanged{std::move(client), std::move(result)};
    };
    auto exchanged = co_await async::runBlockingOn(exchangeThreads_, std::move(work));
    idleClients_.push_back(std::move(exchanged.client));
    co_return exchanged;
}

void StdioProxy::handleFailure(const std::string& message, const http_client::HTTPClientError& error) {
    if (error.kind != http_client::HTTPClientError::Kind::couldNotConnect) {
        console_.print("Failed to forward request: ", error.description);
    } else if (!std::exchange(instanceUnreachable_, true)) {
        // Once, not for each of the lines a client may still have queued.
        console_.print(
            "The Lumenary server at ", baseURL_,
            " stopped accepting connections; each request gets an error until it serves again: ", error.description);
    }
    answerWithError(message, "Failed to forward request: " + error.description);
}

void StdioProxy::handleResponse(const std::string& message, http_client::HTTPClientResponse response) {
    if (std::exchange(instanceUnreachable_, false)) {
        console_.print("The Lumenary server at ", baseURL_, " serves again");
    }
    if (auto id = response.headers.value("Mcp-Session-Id")) {
        sessionID_ = std::move(*id);
    }
    if (response.status == 200) {
        if (!response.body.empty()) {
            writeAnswer(std::move(response.body));
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
        writeAnswer(mcp::writeJSON(body));
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
        writeAnswer(mcp::writeJSON(Value(std::move(replies))));
        return;
    }
    writeAnswer(std::move(response.body));
}

void StdioProxy::answerWithError(const std::string& message, const std::string& description) {
    auto awaited = awaitedReplies(message);
    if (awaited.ids.empty()) {
        return;
    }
    // The description comes from the network library or the instance and
    // may be anything; the JSON writer escapes it.
    std::string safeDescription =
        system::isValidUTF8(description) ? description : std::string("(unreadable description)");
    if (!awaited.isBatch) {
        writeAnswer(
            mcp::writeJSON(errorReply(mcp::encodeValue(awaited.ids.front()), internalErrorCode, safeDescription)));
        return;
    }
    Value::Array replies;
    for (const auto& id : awaited.ids) {
        replies.push_back(errorReply(mcp::encodeValue(id), internalErrorCode, safeDescription));
    }
    writeAnswer(mcp::writeJSON(Value(std::move(replies))));
}

asio::awaitable<void> StdioProxy::endSession() {
    // A session ends with the instance that held it.
    if (!sessionID_ || instanceUnreachable_) {
        co_return;
    }
    const std::string id = *sessionID_;
    http_client::HTTPClientRequest request{.method = "DELETE",
                                           .url = baseURL_,
                                           .headers = {{"Mcp-Session-Id", id}},
                                           .body = {},
                                           .timeouts = timing_.sessionEnd};
    auto exchanged = co_await send(std::move(request));
    if (const auto* error = std::get_if<http_client::HTTPClientError>(&exchanged.result)) {
        console_.print("Could not end session ", id, ": ", error->description);
    } else if (const auto& response = std::get<http_client::HTTPClientResponse>(exchanged.result);
               response.status < 200 || response.status >= 300) {
        console_.print("Could not end session ", id, ": ", statusDescription(response));
    }
}

}  // namespace lumenary::app
