// What a parsed message is taken for, and under which id it is answered:
// the one reading that the server, the client and the HTTP endpoint share.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "mcp/core/json.hpp"
#include "mcp/core/message_classification.hpp"

namespace lumenary::mcp {
namespace {

constexpr std::int64_t smallest = std::numeric_limits<std::int64_t>::min();

TEST(RequestIDFrom, ReadsStringsIntegersWholeDoublesAndNull) {
    struct Case {
        const char* json;
        std::optional<ID> id;
    };
    const std::vector<Case> cases = {
        {R"("r1")", ID("r1")},
        {R"("data:,x")", ID("data:,x")},
        {"7", ID(7)},
        {"7.0", ID(7)},
        {"7e0", ID(7)},
        {"-0.0", ID(0)},
        {"-9223372036854775808", ID(smallest)},
        // No double holds these: the reader rounds them, and the id is what
        // it rounded them to.
        {"1e-400", ID(0)},
        {"-9223372036854775809", ID(smallest)},
        {"null", ID("")},
        {"7.5", std::nullopt},
        {"9223372036854775808", std::nullopt},
        {"1e300", std::nullopt},
        {"true", std::nullopt},
        {"[1]", std::nullopt},
        {"{}", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(requestIDFrom(parseJSON(c.json)), c.id);
    }
}

TEST(ClassifyMessage, TellsEachKindWithItsIDAndTheIDItIsAnsweredUnder) {
    using enum MessageKind;
    struct Case {
        const char* json;
        MessageKind kind;
        std::optional<ID> id;
        std::optional<ID> answeredUnder;
    };
    const std::vector<Case> cases = {
        {R"({"jsonrpc":"2.0","id":7,"method":"ping"})", request, ID(7), ID(7)},
        {R"({"jsonrpc":"2.0","id":7.0,"method":"ping"})", request, ID(7), ID(7)},
        {R"({"jsonrpc":"2.0","id":"7","method":"ping"})", request, ID("7"), ID("7")},
        {R"({"jsonrpc":"2.0","id":null,"method":"ping"})", request, ID(""), ID("")},
        {R"({"jsonrpc":"2.0","id":1e-400,"method":"ping"})", request, ID(0), ID(0)},
        {R"({"jsonrpc":"2.0","id":-9223372036854775809,"method":"ping"})", request, ID(smallest), ID(smallest)},
        {R"({"jsonrpc":"2.0","method":"note","params":{}})", notification, std::nullopt, std::nullopt},
        // An id that is no request id never makes a notification of a request.
        {R"({"jsonrpc":"2.0","id":7.5,"method":"ping"})", invalid, std::nullopt, std::nullopt},
        {R"({"jsonrpc":"2.0","id":true,"method":"ping"})", invalid, std::nullopt, std::nullopt},
        {R"({"jsonrpc":"2.0","id":{},"method":"ping"})", invalid, std::nullopt, std::nullopt},
        {R"({"jsonrpc":"2.0","id":1,"method":5})", invalid, ID(1), ID(1)},
        {R"({"jsonrpc":"1.0","id":5,"method":"ping"})", invalid, ID(5), ID(5)},
        {R"({"id":5.0,"method":"ping"})", invalid, ID(5), ID(5)},
        {R"({"jsonrpc":"1.0","id":null,"method":"ping"})", invalid, std::nullopt, std::nullopt},
        {R"({"jsonrpc":"2.0","id":1})", invalid, ID(1), ID(1)},
        {R"({"jsonrpc":"2.0","id":3,"result":{}})", response, ID(3), ID(3)},
        {R"({"jsonrpc":"2.0","id":3,"result":{},"error":{}})", response, ID(3), ID(3)},
        {R"({"jsonrpc":"2.0","id":"e","error":{"code":1,"message":"no"}})", errorResponse, ID("e"), ID("e")},
        // A reply to a message its sender could not read: matched as the
        // empty id, but answered by a server under a fresh one.
        {R"({"jsonrpc":"2.0","id":null,"error":{"code":1,"message":"no"}})", errorResponse, ID(""), std::nullopt},
        {R"({"jsonrpc":"2.0","id":2.5,"result":{}})", invalid, std::nullopt, std::nullopt},
        {R"([{"jsonrpc":"2.0","id":1,"method":"ping"}])", batch, std::nullopt, std::nullopt},
        {"[]", batch, std::nullopt, std::nullopt},
        {"42", invalid, std::nullopt, std::nullopt},
        {R"("ping")", invalid, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        const auto classification = classifyMessage(parseJSON(c.json));
        EXPECT_EQ(classification.kind, c.kind);
        EXPECT_EQ(classification.id, c.id);
        EXPECT_EQ(classification.answeredUnder(), c.answeredUnder);
    }
}

}  // namespace
}  // namespace lumenary::mcp
