#include "eventsource/parser.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace lumenary::eventsource {
namespace {

struct ParsedStream {
    std::vector<Event> events;
    std::string lastEventId;
    std::int64_t reconnectionTime = 0;

    friend bool operator==(const ParsedStream&, const ParsedStream&) = default;
};

void PrintTo(const ParsedStream& parsed, std::ostream* out) {
    *out << parsed.events.size() << " events, last id \"" << parsed.lastEventId << "\", reconnection "
         << parsed.reconnectionTime;
    for (const auto& event : parsed.events) {
        *out << "\n  id=" << event.id.value_or("<none>") << " event=" << event.event.value_or("<none>")
             << " data=\"" << event.data << "\" retry=" << (event.retry ? std::to_string(*event.retry) : "<none>");
    }
}

ParsedStream drained(Parser& parser) {
    ParsedStream parsed;
    while (auto event = parser.nextEvent()) {
        parsed.events.push_back(std::move(*event));
    }
    parsed.lastEventId = parser.lastEventId();
    parsed.reconnectionTime = parser.reconnectionTime();
    return parsed;
}

ParsedStream parsedInPieces(const std::vector<std::string>& pieces, bool finish) {
    Parser parser;
    for (const auto& piece : pieces) {
        parser.feed(piece);
    }
    if (finish) {
        parser.finish();
    }
    return drained(parser);
}

ParsedStream parsedByteByByte(const std::string& input, bool finish) {
    Parser parser;
    for (const char byte : input) {
        parser.consume(static_cast<std::uint8_t>(byte));
    }
    if (finish) {
        parser.finish();
    }
    return drained(parser);
}

Event dataEvent(std::string data) {
    return Event{std::nullopt, std::nullopt, std::move(data), std::nullopt};
}

struct EdgeCase {
    const char* name;
    std::string input;
    bool finish;
    std::vector<Event> events;
    std::string lastEventId = "";
    std::int64_t reconnectionTime = 3000;
};

class ParserEdgeCaseTest : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(ParserEdgeCaseTest, GivesTheSameOutcomeFedWholeByteByByteAndSplitAtEveryBoundary) {
    const auto& edge = GetParam();
    const ParsedStream expected{edge.events, edge.lastEventId, edge.reconnectionTime};

    EXPECT_EQ(parsedInPieces({edge.input}, edge.finish), expected) << "fed whole";
    EXPECT_EQ(parsedByteByByte(edge.input, edge.finish), expected) << "one byte at a time";
    for (std::size_t split = 1; split < edge.input.size(); ++split) {
        EXPECT_EQ(parsedInPieces({edge.input.substr(0, split), edge.input.substr(split)}, edge.finish), expected)
            << "split at " << split;
    }
}

const std::string bom = "\xEF\xBB\xBF";

INSTANTIATE_TEST_SUITE_P(
    EdgeTable, ParserEdgeCaseTest,
    ::testing::Values(
        EdgeCase{"oneDataLine", "data: a\n\n", false, {dataEvent("a")}},
        EdgeCase{"twoDataLinesJoinedByLF", "data: a\ndata: b\n\n", false, {dataEvent("a\nb")}},
        EdgeCase{"emptyFirstDataAddsNothing", "data:\ndata: x\n\n", false, {dataEvent("x")}},
        EdgeCase{"emptyLaterDataAddsTheSeparator", "data: x\ndata:\n\n", false, {dataEvent("x\n")}},
        EdgeCase{"bareDataNameGivesEmptyEvent", "data\n\n", false, {dataEvent("")}},
        EdgeCase{"idAloneDispatches", "id: 7\n\n", false, {Event{"7", std::nullopt, "", std::nullopt}}, "7"},
        EdgeCase{"bareIdSetsTheEmptyId", "id: 3\n\nid\n\n", false,
                 {Event{"3", std::nullopt, "", std::nullopt}, Event{"", std::nullopt, "", std::nullopt}}, ""},
        EdgeCase{"idWithNulChangesNothing", std::string("id: 1\n\nid: a\0b\n\n", 17), false,
                 {Event{"1", std::nullopt, "", std::nullopt}}, "1"},
        EdgeCase{"eventTypeAlone", "event: ping\n\n", false, {Event{std::nullopt, "ping", "", std::nullopt}}},
        EdgeCase{"emptyEventType", "event:\n\n", false, {Event{std::nullopt, "", "", std::nullopt}}},
        EdgeCase{"retryAloneQueuesNothing", "retry: 5000\n\n", false, {}, "", 5000},
        EdgeCase{"retryTravelsWithItsEvent", "retry: 5000\ndata: x\n\n", false,
                 {Event{std::nullopt, std::nullopt, "x", 5000}}, "", 5000},
        EdgeCase{"retryWithPlusSign", "retry: +250\n", false, {}, "", 250},
        EdgeCase{"rejectedRetryValues",
                 "retry: 0\nretry: -5\nretry: 12a\nretry: +\nretry:  7\nretry: 99999999999999999999\nretry:\n\n",
                 false,
                 {}},
        EdgeCase{"largestRetryValue", "retry: 9223372036854775807\n", false, {}, "", 9223372036854775807},
        EdgeCase{"commentThenBlank", ": hello\n\n", false, {}},
        EdgeCase{"namesAreCaseSensitive", "DATA: x\n\n", false, {}},
        EdgeCase{"splitAtFirstColonOnly", "data: a:b\n\n", false, {dataEvent("a:b")}},
        EdgeCase{"onlyOneSpaceRemoved", "data:  x\n\n", false, {dataEvent(" x")}},
        EdgeCase{"byteOrderMarkDroppedOnEveryLine", bom + "data: a\n" + bom + "data: b\n\n", false,
                 {dataEvent("a\nb")}},
        EdgeCase{"lineOfOnlyByteOrderMarkIsBlank", "data: a\n" + bom + "\n", false, {dataEvent("a")}},
        EdgeCase{"invalidByteRepaired", "data: a\xFF" "b\n\n", false, {dataEvent("a\xEF\xBF\xBD" "b")}},
        EdgeCase{"multiByteCharacterKept", "data: \xE2\x82\xAC\n\n", false, {dataEvent("\xE2\x82\xAC")}},
        EdgeCase{"crLfEndsOneLine", "data: a\r\n\r\n", false, {dataEvent("a")}},
        EdgeCase{"crCrLfEndsTwoLines", "data: a\r\r\n", false, {dataEvent("a")}},
        EdgeCase{"lfCrEndsTwoLines", "data: a\n\r", false, {dataEvent("a")}},
        EdgeCase{"crAlone", "data: a\rdata: b\r\r", false, {dataEvent("a\nb")}},
        EdgeCase{"twoEvents", "event: e\n\ndata: d\n\n", false,
                 {Event{std::nullopt, "e", "", std::nullopt}, dataEvent("d")}},
        EdgeCase{"unterminatedLineFlushedByFinish", "data: x", true, {dataEvent("x")}},
        EdgeCase{"lineEndedByCrFlushedByFinish", "data: x\r", true, {dataEvent("x")}},
        EdgeCase{"bareDataEndedByCrFlushedByFinish", "data\r", true, {dataEvent("")}},
        EdgeCase{"bareDataEndedByLfNotFlushed", "data\n", true, {}},
        EdgeCase{"unknownFieldIgnored", "foo: bar\n\n", false, {}},
        EdgeCase{"lastIdSurvivesLaterEvents", "id: 9\ndata: a\n\ndata: b\n\n", false,
                 {Event{"9", std::nullopt, "a", std::nullopt}, dataEvent("b")}, "9"}),
    [](const auto& parameter) { return std::string(parameter.param.name); });

TEST(ParserTest, LastEventIdChangesAsSoonAsTheIdLineEnds) {
    Parser parser;
    parser.feed("id: 7\n");
    EXPECT_EQ(parser.lastEventId(), "7");
    EXPECT_FALSE(parser.hasEvent());
}

TEST(ParserTest, RandomStreamsInRandomPiecesMatchByteByByteFeeding) {
    std::mt19937 random(20261207);
    const std::vector<std::string> fragments = {"data: ", "data:", "id: ", "id", "event: ", "retry: ", "12", "-3",
                                                ":", " ", "x", "\xE2\x82", "\xAC", "\xFF", "\xEF\xBB\xBF", "\r",
                                                "\n", "\r\n", "\n\n", "{\"jsonrpc\":\"2.0\"}", std::string(1, '\0')};
    for (int round = 0; round < 300; ++round) {
        std::string input;
        const int length = std::uniform_int_distribution<int>(0, 60)(random);
        for (int index = 0; index < length; ++index) {
            input += fragments[std::uniform_int_distribution<std::size_t>(0, fragments.size() - 1)(random)];
        }
        std::vector<std::string> pieces;
        for (std::size_t offset = 0; offset < input.size();) {
            const std::size_t size = std::uniform_int_distribution<std::size_t>(1, 9)(random);
            pieces.push_back(input.substr(offset, size));
            offset += size;
        }
        const bool finish = round % 2 == 0;
        ASSERT_EQ(parsedInPieces(pieces, finish), parsedByteByByte(input, finish)) << "input: " << input;
    }
}

TEST(ParserTest, OverlongLineIsDroppedWithBoundedMemoryAndTheNextEventParses) {
    Parser parser;
    parser.feed("id: 5\nretry: 700\n\n");
    const std::string chunk(64 * 1024, 'x');
    parser.feed("data: ");
    for (std::size_t fed = 0; fed < 40u * 1024 * 1024; fed += chunk.size()) {
        parser.feed(chunk);
    }
    parser.feed("\n\ndata: next\n\n");

    const auto parsed = drained(parser);
    ASSERT_EQ(parsed.events.size(), 2u);
    EXPECT_EQ(parsed.events[0].id, "5");
    EXPECT_EQ(parsed.events[1], dataEvent("next"));
    EXPECT_EQ(parsed.lastEventId, "5");
    EXPECT_EQ(parsed.reconnectionTime, 700);
    EXPECT_EQ(parser.oversizedDrops(), 1u);
}

TEST(ParserTest, EventWhoseDataPassesTheBoundIsDroppedWhole) {
    Parser parser(16);
    parser.feed("data: 0123456789\ndata: 0123456789\nid: 4\n\ndata: ok\n\n");

    const auto parsed = drained(parser);
    EXPECT_EQ(parsed.events, std::vector<Event>{dataEvent("ok")});
    EXPECT_EQ(parsed.lastEventId, "4");
    EXPECT_EQ(parser.oversizedDrops(), 1u);
}

TEST(ParserTest, DiscardingAPartialEventKeepsIdAndReconnectionTime) {
    Parser parser;
    parser.feed("id: 3\nretry: 900\n\ndata: half\ndata: cut sh");
    static_cast<void>(parser.nextEvent());
    parser.discardPartialEvent();
    parser.feed("data: fresh\n\n");

    EXPECT_EQ(drained(parser), (ParsedStream{{dataEvent("fresh")}, "3", 900}));
}

TEST(ParserTest, TakesBytesAfterFinish) {
    Parser parser;
    parser.feed("data: a");
    parser.finish();
    parser.feed("data: b\n\n");

    EXPECT_EQ(drained(parser).events, (std::vector<Event>{dataEvent("a"), dataEvent("b")}));
}

}  // namespace
}  // namespace lumenary::eventsource
