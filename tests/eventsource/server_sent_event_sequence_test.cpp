#include "eventsource/server_sent_event_sequence.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <exception>
#include <memory>
#include <stdexcept>
#include <variant>

#include "support/run_awaitable.hpp"

namespace lumenary::eventsource {
namespace {

// A body scripted as pieces and at most one failure, which also records how
// many pieces were asked for.
struct ScriptedBody {
    struct State {
        std::deque<std::variant<std::string, std::exception_ptr>> steps;
        int piecesAsked = 0;
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    asio::awaitable<std::optional<std::string>> next() {
        ++state->piecesAsked;
        if (state->steps.empty()) {
            co_return std::nullopt;
        }
        auto step = std::move(state->steps.front());
        state->steps.pop_front();
        if (auto* failure = std::get_if<std::exception_ptr>(&step)) {
            std::rethrow_exception(*failure);
        }
        co_return std::get<std::string>(std::move(step));
    }
};

ScriptedBody bodyOf(std::vector<std::string> pieces, std::exception_ptr failure = nullptr) {
    ScriptedBody body;
    for (auto& piece : pieces) body.state->steps.emplace_back(std::move(piece));
    if (failure) body.state->steps.emplace_back(failure);
    return body;
}

std::vector<std::string> dataUntilEnd(ServerSentEventSequence<ScriptedBody>& sequence) {
    return testing::runAwaitable([&]() -> asio::awaitable<std::vector<std::string>> {
        std::vector<std::string> data;
        while (auto event = co_await sequence.next()) data.push_back(event->data);
        co_return data;
    }());
}

TEST(ServerSentEventSequenceTest, YieldsEventsThenTheEnd) {
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        std::vector<std::string> data;
    };
    const std::vector<Case> cases = {
        {"twoEvents", {"data: a\n\ndata: b\n\n"}, {"a", "b"}},
        {"lastEventWithoutBlankLineFlushedAtTheEnd", {"data: c"}, {"c"}},
        {"emptyBody", {}, {}},
        {"commentsAndBlankLinesOnly", {": one\n\n", ":two\n\n\n"}, {}},
        {"eventsSplitAcrossPieces", {"da", "ta: a\n", "\nda", "ta: b\n\n"}, {"a", "b"}},
    };
    for (const auto& testCase : cases) {
        ServerSentEventSequence sequence(bodyOf(testCase.pieces));
        EXPECT_EQ(dataUntilEnd(sequence), testCase.data) << testCase.name;
    }
}

TEST(ServerSentEventSequenceTest, HandsAnEventOnWithoutReadingAheadOfIt) {
    auto body = bodyOf({"data: a\n\n", "data: b\n\n"});
    ServerSentEventSequence sequence(body);
    const auto first = testing::runAwaitable(sequence.next());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->data, "a");
    EXPECT_EQ(body.state->piecesAsked, 1);
}

TEST(ServerSentEventSequenceTest, BodyFailurePassesThroughWithNothingFlushed) {
    const auto failure = std::make_exception_ptr(std::runtime_error("connection reset"));
    ServerSentEventSequence sequence(bodyOf({"data: a\n"}, failure));
    try {
        testing::runAwaitable(sequence.next());
        FAIL() << "the body failure should pass through";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "connection reset");
    }
}

TEST(ServerSentEventSequenceTest, TwoSequencesKeepSeparateParsers) {
    ServerSentEventSequence first(bodyOf({"data: a\n"}));
    ServerSentEventSequence second(bodyOf({"data: b\n\n"}));
    EXPECT_EQ(dataUntilEnd(second), std::vector<std::string>{"b"});
    EXPECT_EQ(dataUntilEnd(first), std::vector<std::string>{"a"});
}

TEST(ServerSentEventSequenceTest, OversizedLineFailsTheSequence) {
    ServerSentEventSequence sequence(bodyOf({"data: " + std::string(64, 'x') + "\n\n"}), 32);
    EXPECT_THROW(testing::runAwaitable(sequence.next()), OversizedEventError);
}

}  // namespace
}  // namespace lumenary::eventsource
