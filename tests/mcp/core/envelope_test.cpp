#include <gtest/gtest.h>

#include "mcp/core/handshake.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/message.hpp"
#include "mcp/core/request.hpp"
#include "mcp/core/response.hpp"

namespace lumenary::mcp {

// A method whose parameters are required.
struct Echo {
    static constexpr std::string_view name = "test/echo";
    struct Parameters {
        std::string text;
        friend bool operator==(const Parameters&, const Parameters&) = default;
    };
    using Result = Parameters;
};

template <>
struct Coder<Echo::Parameters> {
    static Value encode(const Echo::Parameters& parameters) { return Value::object({{"text", parameters.text}}); }
    static Echo::Parameters decode(const Decoder& decoder) { return {decoder.decode<std::string>("text")}; }
};

namespace {

template <typename Envelope>
Envelope read(std::string_view text) {
    return decodeValue<Envelope>(parseJSON(text));
}

template <typename Envelope>
std::string written(const Envelope& envelope) {
    return writeJSON(encodeValue(envelope));
}

struct RejectedEnvelope {
    const char* text;
    DecodingError::Kind kind;
    const char* description;  // empty: the decoder's own text
};

template <typename Envelope>
void expectRejected(const RejectedEnvelope& c) {
    try {
        read<Envelope>(c.text);
        ADD_FAILURE() << "accepted " << c.text;
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), c.kind) << c.text << ": " << error.what();
        if (*c.description) {
            EXPECT_EQ(error.description(), c.description) << c.text;
        }
    }
}

using Kind = DecodingError::Kind;

TEST(RequestEnvelope, UntypedRequestsRoundTrip) {
    const auto request = read<Request<AnyMethod>>(R"({"jsonrpc":"2.0","id":1,"method":"m","params":{"a":1}})");
    EXPECT_EQ(request.id, ID(1));
    EXPECT_EQ(request.method, "m");
    EXPECT_EQ(request.params, Value::object({{"a", 1}}));
    EXPECT_EQ(written(request), R"({"id":1,"jsonrpc":"2.0","method":"m","params":{"a":1}})");

    const auto bare = read<Request<AnyMethod>>(R"({"jsonrpc":"2.0","id":"x","method":"m","extra":true})");
    EXPECT_TRUE(bare.params.isNull());
    EXPECT_EQ(written(bare), R"({"id":"x","jsonrpc":"2.0","method":"m","params":null})");

    EXPECT_EQ(read<Request<AnyMethod>>(R"({"jsonrpc":"2.0","id":null,"method":"m"})").id, ID(""));
}

TEST(RequestEnvelope, RejectsMalformedEnvelopes) {
    const RejectedEnvelope cases[] = {
        {R"({"jsonrpc":"1.0","id":1,"method":"m"})", Kind::dataCorrupted, "Invalid JSON-RPC version"},
        {R"({"jsonrpc":"2.0 ","id":1,"method":"m"})", Kind::dataCorrupted, "Invalid JSON-RPC version"},
        {R"({"id":1,"method":"m"})", Kind::keyNotFound, ""},
        {R"({"jsonrpc":2.0,"id":1,"method":"m"})", Kind::typeMismatch, ""},
        {R"({"jsonrpc":"2.0","method":"m"})", Kind::keyNotFound, ""},
        {R"({"jsonrpc":"2.0","id":true,"method":"m"})", Kind::dataCorrupted, "ID must be string or number"},
        {R"({"jsonrpc":"2.0","id":{},"method":"m"})", Kind::dataCorrupted, "ID must be string or number"},
        {R"({"jsonrpc":"2.0","id":1})", Kind::keyNotFound, ""},
        {R"({"jsonrpc":"2.0","id":1,"method":7})", Kind::typeMismatch, ""},
        {R"([1,2])", Kind::typeMismatch, ""},
    };
    for (const auto& c : cases) {
        expectRejected<Request<AnyMethod>>(c);
    }
}

TEST(RequestEnvelope, VersionErrorPointsAtItsKey) {
    try {
        read<Request<AnyMethod>>(R"({"jsonrpc":"1.0","id":1,"method":"m"})");
        FAIL();
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.codingPath(), CodingPath{"jsonrpc"});
    }
}

TEST(RequestEnvelope, RequiredParametersAreChecked) {
    const RejectedEnvelope cases[] = {
        {R"({"jsonrpc":"2.0","id":1,"method":"test/echo"})", Kind::dataCorrupted, "Missing required params field"},
        {R"({"jsonrpc":"2.0","id":1,"method":"test/echo","params":null})", Kind::dataCorrupted,
         "Missing required params field"},
        {R"({"jsonrpc":"2.0","id":1,"method":"test/echo","params":"text"})", Kind::dataCorrupted,
         "Invalid params field"},
        {R"({"jsonrpc":"2.0","id":1,"method":"test/echo","params":{}})", Kind::dataCorrupted, "Invalid params field"},
    };
    for (const auto& c : cases) {
        expectRejected<Request<Echo>>(c);
    }
    const auto request = read<Request<Echo>>(R"({"jsonrpc":"2.0","id":1,"method":"other","params":{"text":"t"}})");
    EXPECT_EQ(request.params.text, "t");
    EXPECT_EQ(request.method, "other");
}

TEST(RequestEnvelope, EmptyParametersAcceptAnything) {
    for (const char* params : {"", R"(,"params":null)", R"(,"params":{})", R"(,"params":3)", R"(,"params":[1])"}) {
        const auto text = std::string(R"({"jsonrpc":"2.0","id":1,"method":"ping")") + params + "}";
        EXPECT_NO_THROW(read<Request<Ping>>(text)) << text;
    }
    EXPECT_EQ(written(Request<Ping>(ID(1), Empty{})), R"({"id":1,"jsonrpc":"2.0","method":"ping","params":{}})");
}

TEST(RequestEnvelope, EqualityLooksAtEveryField) {
    const Request<AnyMethod> first(ID(1), "m", Value(1));
    EXPECT_EQ(first, Request<AnyMethod>(ID(1), "m", Value(1)));
    EXPECT_NE(first, Request<AnyMethod>(ID(1), "m", Value(2)));
    EXPECT_NE(first, Request<AnyMethod>(ID("1"), "m", Value(1)));
}

TEST(RequestEnvelope, TypedRequestsBecomeUntyped) {
    const auto any = toAnyRequest(Request<Echo>(ID(3), Echo::Parameters{"hi"}));
    EXPECT_EQ(any.method, "test/echo");
    EXPECT_EQ(any.params, Value::object({{"text", "hi"}}));
}

TEST(ResponseEnvelope, ReadsResultBeforeError) {
    const auto both = read<Response<AnyMethod>>(
        R"({"jsonrpc":"2.0","id":1,"result":{},"error":{"code":-32600,"message":"Invalid Request"}})");
    EXPECT_TRUE(both.isSuccess());

    const auto failure =
        read<Response<Echo>>(R"({"jsonrpc":"2.0","id":"a","result":5,"error":{"code":-32601,"message":"M"}})");
    ASSERT_FALSE(failure.isSuccess());
    EXPECT_EQ(failure.error()->code(), -32601);

    const RejectedEnvelope cases[] = {
        {R"({"jsonrpc":"2.0","id":1})", Kind::dataCorrupted, "Invalid response"},
        {R"({"jsonrpc":"2.0","id":1,"result":5,"error":{"code":"x"}})", Kind::dataCorrupted, "Invalid response"},
        {R"({"jsonrpc":"3.0","id":1,"result":{}})", Kind::dataCorrupted, "Invalid JSON-RPC version"},
        {R"({"jsonrpc":"2.0","result":{}})", Kind::keyNotFound, ""},
    };
    for (const auto& c : cases) {
        expectRejected<Response<Echo>>(c);
    }
}

TEST(ResponseEnvelope, WritesOneOfResultOrError) {
    EXPECT_EQ(written(Response<Ping>::success(ID(1), Empty{})), R"({"id":1,"jsonrpc":"2.0","result":{}})");
    EXPECT_EQ(written(Response<AnyMethod>::failure(ID("x"), MCPError::methodNotFound("Unknown method: x"))),
              R"({"error":{"code":-32601,"data":{"detail":"Unknown method: x"},)"
              R"("message":"Method not found: Unknown method: x"},"id":"x","jsonrpc":"2.0"})");
}

// The reply text written straight from a response is the text of its
// envelope value, escapes, errors and the nesting limit included.
TEST(ResponseEnvelope, ItsTextIsTheTextOfItsValue) {
    Value deepest = Value::array({});
    for (std::size_t level = 1; level < maximumJSONNestingDepth; ++level) {
        deepest = Value::array({std::move(deepest)});
    }
    for (const auto& [response, options] : std::initializer_list<std::pair<Response<AnyMethod>, JSONWriteOptions>>{
             {Response<AnyMethod>::success(ID(-7), Value::object({{"b", 1}, {"a", "x/\"y\"\n"}})), {}},
             {Response<AnyMethod>::success(ID("id \"/\u00e9"), Value()), {.escapeSlashes = true}},
             {Response<AnyMethod>::failure(ID(""), MCPError::invalidParams("bad \"x\"")), {}},
             {Response<AnyMethod>::success(ID(1), Value("\xC3\x28")), {}},
             {Response<AnyMethod>::success(ID(1), deepest), {}},
         }) {
        std::optional<std::string> expected;
        try {
            expected = writeJSON(encodeValue(response), options);
        } catch (const EncodingError&) {
        }
        std::string text;
        if (expected) {
            appendResponseJSON(text, response, options);
            EXPECT_EQ(text, *expected);
        } else {
            EXPECT_THROW(appendResponseJSON(text, response, options), EncodingError);
        }
    }
}

TEST(ResponseEnvelope, FailuresCompareByErrorCode) {
    EXPECT_EQ(Response<AnyMethod>::failure(ID(1), MCPError::invalidParams("a")),
              Response<AnyMethod>::failure(ID(1), MCPError::invalidParams("b")));
    EXPECT_NE(Response<AnyMethod>::failure(ID(1), MCPError::invalidParams("a")),
              Response<AnyMethod>::failure(ID(2), MCPError::invalidParams("a")));
}

TEST(NotificationEnvelope, ParametersAreWrittenUnlessEmpty) {
    EXPECT_EQ(written(Message<InitializedNotification>()), R"({"jsonrpc":"2.0","method":"notifications/initialized"})");
    EXPECT_EQ(written(Message<AnyNotification>("n", Value())), R"({"jsonrpc":"2.0","method":"n","params":null})");
    const auto message = read<Message<AnyNotification>>(R"({"jsonrpc":"2.0","id":9,"method":"n"})");
    EXPECT_EQ(message.method, "n");
    EXPECT_TRUE(message.params.isNull());
    expectRejected<Message<AnyNotification>>(
        {R"({"jsonrpc":"1","method":"n"})", Kind::dataCorrupted, "Invalid JSON-RPC version"});
}

}  // namespace
}  // namespace lumenary::mcp
