#include <gtest/gtest.h>

#include <memory>

#include "mcp/core/handler_box.hpp"
#include "mcp/core/handshake.hpp"
#include "support/run_awaitable.hpp"

namespace lumenary::mcp {

struct Greet {
    static constexpr std::string_view name = "test/greet";
    struct Parameters {
        std::string who;
    };
    using Result = Value;
};

template <>
struct Coder<Greet::Parameters> {
    static Value encode(const Greet::Parameters& parameters) { return Value::object({{"who", parameters.who}}); }
    static Greet::Parameters decode(const Decoder& decoder) { return {decoder.decode<std::string>("who")}; }
};

struct Shout {
    static constexpr std::string_view name = "test/shout";
    using Parameters = Greet::Parameters;
};

namespace {

using lumenary::testing::runAwaitable;

TEST(TypedRequestHandler, ConvertsParametersAndResult) {
    int calls = 0;
    TypedRequestHandler<Greet> box([&](Request<Greet> request) -> asio::awaitable<Response<Greet>> {
        ++calls;
        co_return Response<Greet>::success(request.id, Value("hello " + request.params.who));
    });
    const auto response =
        runAwaitable(box.handle(Request<AnyMethod>(ID(1), "test/greet", Value::object({{"who", "ana"}}))));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(response.id, ID(1));
    EXPECT_EQ(*response.value(), Value("hello ana"));
}

TEST(TypedRequestHandler, RefusesUnfitParametersBeforeTheHandlerRuns) {
    int calls = 0;
    TypedRequestHandler<Greet> box([&](Request<Greet> request) -> asio::awaitable<Response<Greet>> {
        ++calls;
        co_return Response<Greet>::success(request.id, Value());
    });
    for (const auto& [params, description] :
         {std::pair{Value(), "Missing required params field"}, std::pair{Value("x"), "Invalid params field"}}) {
        try {
            runAwaitable(box.handle(Request<AnyMethod>(ID(1), "test/greet", params)));
            ADD_FAILURE() << "accepted " << params.description();
        } catch (const DecodingError& error) {
            EXPECT_EQ(error.description(), description);
        }
    }
    EXPECT_EQ(calls, 0);
}

// The boxes that hand a handler only the parameters answer under the
// request's id, and refuse what does not fit as the full envelope would.
TEST(ParameterHandlers, AnswerUnderTheRequestsIDAndRefuseUnfitParameters) {
    int calls = 0;
    const auto greet = [&](Greet::Parameters parameters) {
        ++calls;
        return Value("hello " + parameters.who);
    };
    TypedResultHandler<Greet> awaiting(
        [&](Greet::Parameters parameters) -> asio::awaitable<Value> { co_return greet(std::move(parameters)); });
    ImmediateRequestHandler<Greet> immediate(greet);
    for (RequestHandlerBox* box :
         {static_cast<RequestHandlerBox*>(&awaiting), static_cast<RequestHandlerBox*>(&immediate)}) {
        calls = 0;
        const auto response =
            runAwaitable(box->handle(Request<AnyMethod>(ID("r"), "test/greet", Value::object({{"who", "ana"}}))));
        EXPECT_EQ(response.id, ID("r"));
        EXPECT_EQ(*response.value(), Value("hello ana"));
        for (const auto& [params, description] :
             {std::pair{Value(), "Missing required params field"}, std::pair{Value("x"), "Invalid params field"}}) {
            try {
                runAwaitable(box->handle(Request<AnyMethod>(ID(1), "test/greet", params)));
                ADD_FAILURE() << "accepted " << params.description();
            } catch (const DecodingError& error) {
                EXPECT_EQ(error.description(), description);
                EXPECT_TRUE(error.codingPath().empty());
            }
        }
        EXPECT_EQ(calls, 1);
    }
}

TEST(TypedRequestHandler, PassesFailuresAndTheHandlersIDThrough) {
    TypedRequestHandler<Ping> failing([](Request<Ping> request) -> asio::awaitable<Response<Ping>> {
        co_return Response<Ping>::failure(request.id, MCPError::invalidParams("no"));
    });
    const auto failed = runAwaitable(failing.handle(Request<AnyMethod>(ID("a"), "ping", Value(3))));
    ASSERT_NE(failed.error(), nullptr);
    EXPECT_EQ(failed.error()->errorDescription(), "Invalid params: no");
    EXPECT_EQ(failed.id, ID("a"));

    TypedRequestHandler<Ping> renumbering(
        [](Request<Ping>) -> asio::awaitable<Response<Ping>> { co_return Response<Ping>::success(ID(99), Empty{}); });
    const auto renumbered = runAwaitable(renumbering.handle(Request<AnyMethod>(ID(1), "ping", Value())));
    EXPECT_EQ(renumbered.id, ID(99));
    EXPECT_EQ(*renumbered.value(), Value(Value::Object{}));

    TypedRequestHandler<Ping> throwing([](Request<Ping>) -> asio::awaitable<Response<Ping>> {
        throw MCPError::internalError("boom");
        co_return Response<Ping>::success(ID(1), Empty{});
    });
    EXPECT_THROW(runAwaitable(throwing.handle(Request<AnyMethod>(ID(1), "ping", Value()))), MCPError);
}

TEST(TypedNotificationHandler, DecodesOrRefuses) {
    std::string heard;
    TypedNotificationHandler<Shout> box([&](Message<Shout> message) -> asio::awaitable<void> {
        heard = message.params.who;
        co_return;
    });
    runAwaitable(box.handle(Message<AnyNotification>("test/shout", Value::object({{"who", "bo"}}))));
    EXPECT_EQ(heard, "bo");
    heard.clear();
    EXPECT_THROW(runAwaitable(box.handle(Message<AnyNotification>("test/shout", Value(1)))), DecodingError);
    EXPECT_EQ(heard, "");
}

}  // namespace
}  // namespace lumenary::mcp
