#include "eventsource/event.hpp"

#include <gtest/gtest.h>

#include "eventsource/eventsource_coders.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::eventsource {
namespace {

TEST(EventTest, AbsentFieldsDifferFromEmptyOnesInEqualityAndHash) {
    const std::vector<std::pair<Event, Event>> pairs = {
        {Event{std::nullopt, std::nullopt, "d", std::nullopt}, Event{"", std::nullopt, "d", std::nullopt}},
        {Event{std::nullopt, std::nullopt, "d", std::nullopt}, Event{std::nullopt, "", "d", std::nullopt}},
        {Event{"a", std::nullopt, "", std::nullopt}, Event{std::nullopt, "a", "", std::nullopt}},
        {Event{std::nullopt, std::nullopt, "", std::nullopt}, Event{std::nullopt, std::nullopt, "", 0}},
    };
    for (const auto& [left, right] : pairs) {
        EXPECT_NE(left, right);
        EXPECT_NE(left.hash(), right.hash());
        EXPECT_EQ(left.hash(), Event(left).hash());
    }
}

TEST(EventTest, JSONLeavesAbsentFieldsOutAndReadsWithDataOnly) {
    const Event full{"7", "message", "x", 500};
    EXPECT_EQ(mcp::writeJSON(mcp::encodeValue(full)), R"({"data":"x","event":"message","id":"7","retry":500})");
    EXPECT_EQ(mcp::writeJSON(mcp::encodeValue(Event{std::nullopt, std::nullopt, "x", std::nullopt})),
              R"({"data":"x"})");

    EXPECT_EQ(mcp::decodeValue<Event>(mcp::parseJSON(R"({"data":"x","other":1,"id":null})")),
              (Event{std::nullopt, std::nullopt, "x", std::nullopt}));
    EXPECT_EQ(mcp::decodeValue<Event>(mcp::encodeValue(full)), full);
    EXPECT_THROW(mcp::decodeValue<Event>(mcp::parseJSON(R"({"id":"7"})")), mcp::DecodingError);
}

}  // namespace
}  // namespace lumenary::eventsource
