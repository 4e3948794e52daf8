// The network transport over a scripted connection: states and their
// records, sending, receiving, recovery and stopping.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "mcp/transports/network_transport_harness.hpp"

namespace lumenary::mcp::testing {
namespace {

using State = NetworkConnectionState;
using OnStart = ScriptedNetworkConnection::OnStart;
using Reconnection = NetworkTransport::ReconnectionConfiguration;
using Heartbeat = NetworkTransport::HeartbeatConfiguration;

std::error_code errorOf(std::errc code) {
    return std::make_error_code(code);
}

TEST(NetworkTransportTest, ConnectLogsEachStateBeforeReadyAndReturnsOnTheFirstReady) {
    NetworkTransportHarness harness;
    harness.connection().planEveryStart(OnStart::nothing);
    auto connecting = harness.begin(harness.transport().connect());
    ASSERT_TRUE(harness.runUntil([&] { return harness.connection().starts() == 1; }));

    harness.connection().report(State::setup);
    harness.connection().report(State::preparing);
    harness.connection().report(State::waiting, errorOf(std::errc::network_unreachable));
    ASSERT_TRUE(harness.waitForRecord("Connection waiting: Network is unreachable"));
    EXPECT_FALSE(async::test::isReady(connecting)) << "waiting alone never completes connect()";

    harness.connection().report(State::ready);
    ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(connecting); }));
    EXPECT_EQ(failureOf(connecting), "");
    EXPECT_EQ(harness.messages(),
              (std::vector<std::string>{"Connection setup...", "Connection preparing...",
                                        "Connection waiting: Network is unreachable",
                                        "Network transport connected successfully"}));
    EXPECT_EQ(harness.records().back().function, "handleConnectionReady(continuation:)");
    EXPECT_EQ(harness.records().back().source, "MCP");
}

TEST(NetworkTransportTest, LaterReportsOfAConnectedAttemptAndASecondConnectChangeNothing) {
    NetworkTransportHarness harness;
    harness.connect();
    const auto recordsBefore = harness.records().size();

    harness.connection().report(State::ready);
    harness.connection().report(State::failed, errorOf(std::errc::connection_reset));
    harness.connect();
    harness.complete(harness.transport().send("{}"));

    EXPECT_EQ(harness.records().size(), recordsBefore);
    EXPECT_EQ(harness.connection().starts(), 1);
    EXPECT_TRUE(harness.status().isConnected);
}

struct FirstAttemptCase {
    const char* name;
    Reconnection reconnection;
    State ending;
    std::string endingRecord;
    std::string retryRecord;  // empty when no retry is allowed
    std::string error;
};

TEST(NetworkTransportTest, AFailedFirstAttemptFailsConnectAfterTheBackoffWhenARetryWouldBeAllowed) {
    const std::vector<FirstAttemptCase> cases{
        {"failure with retries", Reconnection::defaultConfiguration, State::failed,
         "Connection failed: Connection refused", "Attempting reconnection after failure (1/5)...",
         "Transport error: Connection refused"},
        {"cancellation with retries", Reconnection::defaultConfiguration, State::cancelled, "Connection cancelled",
         "Attempting reconnection after cancellation (1/5)...", "Internal error: Connection cancelled"},
        {"retries disabled", Reconnection::disabled, State::failed, "Connection failed: Connection refused", "",
         "Transport error: Connection refused"},
        {"no attempts allowed", Reconnection(true, 0, 1.5), State::failed, "Connection failed: Connection refused",
         "", "Transport error: Connection refused"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        NetworkTransportHarness harness(testCase.reconnection);
        harness.connection().plan({OnStart::nothing});
        auto connecting = harness.begin(harness.transport().connect());
        ASSERT_TRUE(harness.runUntil([&] { return harness.connection().starts() == 1; }));
        harness.connection().report(testCase.ending, errorOf(std::errc::connection_refused));
        ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(connecting); }));

        EXPECT_EQ(failureOf(connecting), testCase.error);
        EXPECT_EQ(harness.count(testCase.endingRecord), 1u);
        if (testCase.retryRecord.empty()) {
            EXPECT_EQ(harness.records().size(), 1u) << "no retry record";
        } else {
            EXPECT_EQ(harness.count(testCase.retryRecord), 1u);
        }
        EXPECT_GE(harness.connection().cancels(), 1);
        EXPECT_EQ(harness.connection().starts(), 1) << "a first attempt is not retried by itself";

        harness.connect();
        EXPECT_TRUE(harness.status().isConnected) << "a later connect() starts afresh";
    }
}

TEST(NetworkTransportTest, AnAttemptThatNeitherSucceedsNorFailsTimesOutAsAFailedAttempt) {
    auto options = quickOptions();
    options.connectTimeout = std::chrono::milliseconds(5);
    NetworkTransportHarness harness(Reconnection::defaultConfiguration, Heartbeat::disabled, options);
    harness.connection().planEveryStart(OnStart::nothing);
    auto connecting = harness.begin(harness.transport().connect());
    ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(connecting); }));
    EXPECT_EQ(failureOf(connecting), "Transport error: Connection timed out");
    EXPECT_EQ(harness.count("Connection failed: Connection timed out"), 1u);
    EXPECT_EQ(harness.status().reconnectAttempt, 1);
}

TEST(NetworkTransportTest, ASecondConnectDuringAnAttemptSharesItsOutcome) {
    for (const bool succeeds : {true, false}) {
        SCOPED_TRACE(succeeds ? "ready" : "failed");
        NetworkTransportHarness harness(Reconnection::disabled);
        harness.connection().plan({OnStart::nothing});
        auto first = harness.begin(harness.transport().connect());
        auto second = harness.begin(harness.transport().connect());
        ASSERT_TRUE(harness.runUntil([&] { return harness.connection().starts() == 1; }));
        harness.connection().report(succeeds ? State::ready : State::failed, errorOf(std::errc::connection_refused));
        ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(first) && async::test::isReady(second); }));
        const std::string expected = succeeds ? "" : "Transport error: Connection refused";
        EXPECT_EQ(failureOf(first), expected);
        EXPECT_EQ(failureOf(second), expected);
        EXPECT_EQ(harness.connection().starts(), 1);
    }
}

TEST(NetworkTransportTest, SendWritesTheMessageAndOneNewlineInOneWriteWithoutLookingInside) {
    NetworkTransportHarness harness;
    harness.connect();
    harness.complete(harness.transport().send("{}"));
    harness.complete(harness.transport().send("{}\n"));
    EXPECT_EQ(harness.connection().writes(), (std::vector<std::string>{"{}\n", "{}\n\n"}));
}

TEST(NetworkTransportTest, SendFailsWhileNoConnectionIsReady) {
    NetworkTransportHarness harness;
    auto early = harness.begin(harness.transport().send("{}"));
    ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(early); }));
    EXPECT_EQ(failureOf(early), "Internal error: Transport not connected");

    harness.connect();
    harness.complete(harness.transport().disconnect());
    auto late = harness.begin(harness.transport().send("{}"));
    ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(late); }));
    EXPECT_EQ(failureOf(late), "Internal error: Transport not connected");
}

TEST(NetworkTransportTest, SendEndsWhenItsBytesAreWrittenAndLaterMessagesFollowAsOneWrite) {
    NetworkTransportHarness harness;
    harness.connect();
    harness.connection().holdWrites(true);
    auto first = harness.begin(harness.transport().send("[1]"));
    ASSERT_TRUE(harness.runUntil([&] { return harness.connection().heldWrites() == 1; }));
    auto second = harness.begin(harness.transport().send("[2]"));
    auto third = harness.begin(harness.transport().send("[3]"));
    ASSERT_TRUE(harness.runUntil([&] { return harness.status().queuedOutputBytes == 8; }));
    EXPECT_FALSE(async::test::isReady(first));

    harness.connection().releaseWrites();
    ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(first); }));
    ASSERT_TRUE(harness.runUntil([&] { return harness.connection().heldWrites() == 1; }));
    EXPECT_FALSE(async::test::isReady(second));
    harness.connection().releaseWrites();
    ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(second) && async::test::isReady(third); }));

    EXPECT_EQ(harness.connection().writes(), (std::vector<std::string>{"[1]\n", "[2]\n[3]\n"}));
    EXPECT_EQ(harness.connection().mostWritesInFlight(), 1);
}

TEST(NetworkTransportTest, MessagesAndHeartbeatsGoOutWholeAndInOrderThroughOneWriter) {
    NetworkTransportHarness harness(Reconnection::defaultConfiguration, Heartbeat(true, 0.0001));
    harness.connect();
    harness.connection().holdWrites(true);
    std::vector<std::future<void>> sends;
    for (int index = 0; index < 50; ++index) {
        sends.push_back(harness.begin(harness.transport().send("{\"n\":" + std::to_string(index) + "}")));
        harness.runUntil([&] { return harness.connection().heldWrites() > 0; });
        harness.connection().releaseWrites();
        if (index == 25) {
            ASSERT_TRUE(harness.runUntil([&] {
                const auto& writes = harness.connection().writes();
                return std::any_of(writes.begin(), writes.end(), [](const std::string& write) {
                    return NetworkHeartbeat::isHeartbeat(write);
                });
            }));
        }
    }
    harness.connection().holdWrites(false);
    harness.connection().releaseWrites();
    ASSERT_TRUE(harness.runUntil([&] {
        return std::all_of(sends.begin(), sends.end(), [](const auto& send) { return async::test::isReady(send); });
    }));

    std::string wire;
    for (const auto& write : harness.connection().writes()) {
        wire += write;
    }
    NetworkFramer framer;
    std::vector<NetworkFramer::Frame> frames;
    framer.feed(wire, frames);
    std::vector<std::string> messages;
    std::size_t heartbeats = 0;
    for (const auto& frame : frames) {
        if (const auto* message = std::get_if<std::string>(&frame)) {
            messages.push_back(*message);
        } else {
            ASSERT_TRUE(std::holds_alternative<NetworkHeartbeat>(frame));
            ++heartbeats;
        }
    }
    ASSERT_EQ(messages.size(), 50u);
    for (int index = 0; index < 50; ++index) {
        EXPECT_EQ(messages[static_cast<std::size_t>(index)], "{\"n\":" + std::to_string(index) + "}");
    }
    EXPECT_GE(heartbeats, 1u);
    EXPECT_EQ(framer.pendingBytes(), 0u);
    EXPECT_EQ(harness.connection().mostWritesInFlight(), 1);
}

TEST(NetworkTransportTest, TheQueueBoundHoldsSendersBackWhileThePeerDoesNotRead) {
    auto options = quickOptions();
    options.maximumQueuedOutputBytes = 16;
    NetworkTransportHarness harness(Reconnection::defaultConfiguration, Heartbeat::disabled, options);
    harness.connect();
    harness.connection().holdWrites(true);
    auto first = harness.begin(harness.transport().send("[1]"));
    ASSERT_TRUE(harness.runUntil([&] { return harness.connection().heldWrites() == 1; }));
    auto big = harness.begin(harness.transport().send(std::string(20, 'x')));
    auto held = harness.begin(harness.transport().send("[3]"));
    ASSERT_TRUE(harness.runUntil([&] { return harness.status().sendersWaitingForRoom == 1; }));
    EXPECT_EQ(harness.status().queuedOutputBytes, 21u);

    harness.connection().holdWrites(false);
    harness.connection().releaseWrites();
    ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(held); }));
    EXPECT_EQ(failureOf(held), "");
    EXPECT_EQ(harness.connection().writes().back(), "[3]\n");
}

TEST(NetworkTransportTest, EmptyReadsWarnFromTheFifthInARowAndAnyBytesResetTheCount) {
    NetworkTransportHarness harness;
    harness.connect();
    const auto warning = [](int count) {
        return "Multiple consecutive empty reads (" + std::to_string(count) + "), possible connection issue";
    };
    for (int index = 0; index < 4; ++index) {
        harness.connection().deliver("");
    }
    harness.connection().deliver("[1]\n");
    EXPECT_EQ(harness.nextMessage(), "[1]");
    EXPECT_EQ(harness.count(warning(4)), 0u);

    for (int index = 0; index < 5; ++index) {
        harness.connection().deliver("");
    }
    harness.connection().deliver(NetworkHeartbeat::now().data());
    for (int index = 0; index < 4; ++index) {
        harness.connection().deliver("");
    }
    harness.connection().deliver("[2]\n");
    EXPECT_EQ(harness.nextMessage(), "[2]");
    EXPECT_EQ(harness.count(warning(5)), 1u);
    EXPECT_EQ(harness.count(warning(6)), 0u);
    EXPECT_EQ(harness.connection().starts(), 1) << "a ready connection is read on";
}

TEST(NetworkTransportTest, PeerHeartbeatsAreSkippedWhereverAReadSplitsThem) {
    NetworkTransportHarness harness;
    harness.connect();
    const auto heartbeat = NetworkHeartbeat(NetworkHeartbeat::Timestamp(1.5)).data();
    harness.connection().deliver("[1]\n" + heartbeat.substr(0, 3));
    harness.connection().deliver(heartbeat.substr(3, 5));
    harness.connection().deliver(heartbeat.substr(8) + "[2]\n" + heartbeat + "[3]\n");
    EXPECT_EQ(harness.nextMessage(), "[1]");
    EXPECT_EQ(harness.nextMessage(), "[2]");
    EXPECT_EQ(harness.nextMessage(), "[3]");
    EXPECT_EQ(harness.count("Received heartbeat from peer"), 2u);
    EXPECT_EQ(harness.count("Heartbeat timestamp: 2001-01-01 00:00:01 +0000"), 2u);
}

TEST(NetworkTransportTest, ALineOverTheLimitIsDiscardedWithAnErrorRecord) {
    auto options = quickOptions();
    options.maximumLineLength = 16;
    NetworkTransportHarness harness(Reconnection::defaultConfiguration, Heartbeat::disabled, options);
    harness.connect();
    harness.connection().deliver(std::string(40, 'x') + "\n{}\n");
    EXPECT_EQ(harness.nextMessage(), "{}");
    EXPECT_EQ(harness.count("Discarded a line longer than 16 bytes"), 1u);
}

TEST(NetworkTransportTest, HeartbeatsAreTwelveBytesWithoutANewline) {
    NetworkTransportHarness harness(Reconnection::defaultConfiguration, Heartbeat(true, 0.001));
    harness.connect();
    ASSERT_TRUE(harness.runUntil([&] { return harness.connection().writes().size() >= 3; }));
    for (const auto& write : harness.connection().writes()) {
        ASSERT_EQ(write.size(), NetworkHeartbeat::size);
        const auto heartbeat = NetworkHeartbeat::from(write);
        ASSERT_TRUE(heartbeat);
        EXPECT_GT(heartbeat->timestamp().count(), 7e8);
    }
    ASSERT_TRUE(harness.waitForRecord("Heartbeat sent", 2));
    EXPECT_TRUE(harness.status().lastHeartbeatTime);
}

struct BreakCase {
    const char* name;
    std::function<void(NetworkTransportHarness&)> breakIt;
    std::vector<std::string> records;
};

TEST(NetworkTransportTest, EveryBrokenConnectionIsReplacedUnderTheSameStream) {
    const std::vector<BreakCase> cases{
        {"peer closed",
         [](NetworkTransportHarness& harness) { harness.connection().failRead(asio::error::eof); },
         {"Connection completed by peer", "Receive error: [-32000] Connection closed",
          "Error during receive, attempting reconnection (1/5)..."}},
        {"read reset",
         [](NetworkTransportHarness& harness) { harness.connection().failRead(errorOf(std::errc::connection_reset)); },
         {"Error during receive, attempting reconnection (1/5)..."}},
        {"write to a closed peer",
         [](NetworkTransportHarness& harness) {
             harness.connection().failWrites(errorOf(std::errc::broken_pipe));
             auto send = harness.begin(harness.transport().send("{}"));
             ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(send); }));
             EXPECT_EQ(failureOf(send), "Internal error: Send error: Broken pipe");
             harness.connection().failWrites(std::nullopt);
         },
         {"Send error: Broken pipe", "Connection appears broken, will attempt to reconnect..."}},
        {"write not connected",
         [](NetworkTransportHarness& harness) {
             harness.connection().failWrites(errorOf(std::errc::not_connected));
             auto send = harness.begin(harness.transport().send("{}"));
             ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(send); }));
             harness.connection().failWrites(std::nullopt);
         },
         {"Connection appears broken, will attempt to reconnect..."}},
        {"write aborted",
         [](NetworkTransportHarness& harness) {
             harness.connection().failWrites(errorOf(std::errc::connection_aborted));
             auto send = harness.begin(harness.transport().send("{}"));
             ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(send); }));
             harness.connection().failWrites(std::nullopt);
         },
         {"Connection appears broken, will attempt to reconnect..."}},
        {"no longer ready after empty reads",
         [](NetworkTransportHarness& harness) {
             harness.connection().setState(State::failed);
             for (int index = 0; index < 5; ++index) {
                 harness.connection().deliver("");
             }
         },
         {"Connection no longer ready, exiting receive loop",
          "Error during receive, attempting reconnection (1/5)..."}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        NetworkTransportHarness harness;
        harness.connect();
        testCase.breakIt(harness);
        ASSERT_TRUE(harness.runUntil([&] { return harness.connection().starts() == 2; }));
        ASSERT_TRUE(harness.runUntil([&] { return harness.status().isConnected; }));
        for (const auto& record : testCase.records) {
            EXPECT_EQ(harness.count(record), 1u) << record;
        }
        EXPECT_EQ(harness.replacements(), 1);

        harness.complete(harness.transport().send("[\"after\"]"));
        EXPECT_EQ(harness.connection().writes().back(), "[\"after\"]\n");
        harness.connection().deliver("[\"again\"]\n");
        EXPECT_EQ(harness.nextMessage(), "[\"again\"]");
    }
}

TEST(NetworkTransportTest, ASendErrorThatLeavesTheConnectionUpOnlyFailsTheSend) {
    NetworkTransportHarness harness;
    harness.connect();
    harness.connection().failWrites(errorOf(std::errc::message_size));
    auto send = harness.begin(harness.transport().send("{}"));
    ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(send); }));
    EXPECT_EQ(failureOf(send), "Internal error: Send error: Message too long");
    EXPECT_EQ(harness.count("Send error: Message too long"), 1u);
    EXPECT_EQ(harness.connection().starts(), 1);
    EXPECT_TRUE(harness.status().isConnected);
}

TEST(NetworkTransportTest, AttemptsAreCountedAcrossAnOutageAgainstAPeerThatAcceptsAndDrops) {
    NetworkTransportHarness harness(Reconnection(true, 3, 1.5));
    harness.connection().planEveryStart(OnStart::readyThenClose);
    harness.connect();
    EXPECT_EQ(harness.streamEnd(), "Connection closed");
    EXPECT_EQ(harness.connection().starts(), 4) << "the first connection and three tries";
    EXPECT_EQ(harness.status().reconnectAttempt, 3);
    auto again = harness.begin(harness.transport().connect());
    ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(again); }));
    EXPECT_EQ(failureOf(again), "Connection closed");
}

TEST(NetworkTransportTest, TheCountStartsOverOnceANewConnectionBringsAHeartbeat) {
    NetworkTransportHarness harness(Reconnection(true, 2, 1.5));
    harness.connection().planEveryStart(OnStart::readyThenHeartbeatThenClose);
    harness.connect();
    ASSERT_TRUE(harness.runUntil([&] { return harness.connection().starts() >= 8; }));
    EXPECT_LE(harness.status().reconnectAttempt, 2);
}

TEST(NetworkTransportTest, AFailedReconnectionIsTriedAgainWithTheBackoff) {
    NetworkTransportHarness harness;
    harness.connect();
    harness.connection().plan({OnStart::fail, OnStart::fail, OnStart::ready});
    harness.connection().failRead(errorOf(std::errc::connection_reset));
    ASSERT_TRUE(harness.runUntil([&] { return harness.connection().starts() == 4; }));
    ASSERT_TRUE(harness.runUntil([&] { return harness.status().isConnected; }));
    EXPECT_EQ(harness.count("Connection failed: Connection refused"), 2u);
    EXPECT_EQ(harness.count("Attempting reconnection after failure (2/5)..."), 1u);
    EXPECT_EQ(harness.count("Attempting reconnection after failure (3/5)..."), 1u);
    EXPECT_EQ(harness.status().reconnectAttempt, 3) << "until the new connection brings something";
    harness.connection().deliver("{}\n");
    EXPECT_EQ(harness.nextMessage(), "{}");
    EXPECT_EQ(harness.status().reconnectAttempt, 0);
}

TEST(NetworkTransportTest, WhenTheTriesAreSpentTheStreamAndWaitingConnectsEndWithTheLastError) {
    NetworkTransportHarness harness(Reconnection(true, 2, 1.5));
    harness.connect();
    harness.connection().planEveryStart(OnStart::nothing);
    harness.connection().failRead(errorOf(std::errc::connection_reset));
    ASSERT_TRUE(harness.runUntil([&] { return harness.connection().starts() == 2; }));
    auto joined = harness.begin(harness.transport().connect());
    harness.connection().report(State::failed, errorOf(std::errc::host_unreachable));
    ASSERT_TRUE(harness.runUntil([&] { return harness.connection().starts() == 3; }));
    harness.connection().report(State::failed, errorOf(std::errc::connection_refused));

    EXPECT_EQ(harness.streamEnd(), "Transport error: Connection refused");
    ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(joined); }));
    EXPECT_EQ(failureOf(joined), "Transport error: Connection refused");
    EXPECT_FALSE(harness.status().isConnected);
}

TEST(NetworkTransportTest, WithReconnectionDisabledABrokenConnectionEndsTheStreamWithItsError) {
    NetworkTransportHarness harness(Reconnection::disabled);
    harness.connect();
    harness.connection().failRead(errorOf(std::errc::connection_reset));
    EXPECT_EQ(harness.streamEnd().rfind("Transport error: Connection reset by peer", 0), 0u);
    EXPECT_EQ(harness.connection().starts(), 1);
}

struct StopCase {
    const char* name;
    // Brings the transport to the state; returns a connect() left waiting, if any.
    std::function<std::optional<std::future<void>>(NetworkTransportHarness&)> reach;
    std::string streamEnd;
};

TEST(NetworkTransportTest, DisconnectStopsInEveryStateAndNoConnectionIsMadeAfterIt) {
    const std::vector<StopCase> cases{
        {"before connect", [](NetworkTransportHarness&) { return std::optional<std::future<void>>(); }, ""},
        {"during the first attempt",
         [](NetworkTransportHarness& harness) {
             harness.connection().planEveryStart(OnStart::nothing);
             auto waiting = harness.begin(harness.transport().connect());
             harness.runUntil([&] { return harness.connection().starts() == 1; });
             return std::optional(std::move(waiting));
         },
         ""},
        {"connected",
         [](NetworkTransportHarness& harness) {
             harness.connect();
             return std::optional<std::future<void>>();
         },
         ""},
        {"during the backoff",
         [](NetworkTransportHarness& harness) {
             harness.connect();
             harness.connection().failRead(errorOf(std::errc::connection_reset));
             harness.runUntil([&] { return !harness.status().isConnected; });
             return std::optional(harness.begin(harness.transport().connect()));
         },
         ""},
        {"during a reconnection attempt",
         [](NetworkTransportHarness& harness) {
             harness.connect();
             harness.connection().planEveryStart(OnStart::nothing);
             harness.connection().failRead(errorOf(std::errc::connection_reset));
             harness.runUntil([&] { return harness.connection().starts() == 2; });
             return std::optional(harness.begin(harness.transport().connect()));
         },
         ""},
        {"after the stream ended",
         [](NetworkTransportHarness& harness) {
             harness.connection().planEveryStart(OnStart::readyThenClose);
             harness.connect();
             harness.runUntil([&] { return harness.transport().receive().isFinished(); });
             return std::optional<std::future<void>>();
         },
         "Connection closed"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        // Backoff delays long enough that a retry would show.
        auto options = quickOptions();
        options.backoffScale = 0.02;
        NetworkTransportHarness harness(Reconnection::defaultConfiguration, Heartbeat(true, 0.001), options);
        auto waiting = testCase.reach(harness);

        harness.complete(harness.transport().disconnect());
        harness.complete(harness.transport().disconnect());
        const auto startsAtStop = harness.connection().starts();
        EXPECT_EQ(harness.count("Network transport disconnected"), 1u);

        if (waiting) {
            ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(*waiting); }));
            EXPECT_EQ(failureOf(*waiting), "Connection closed");
        }
        EXPECT_EQ(harness.streamEnd(), testCase.streamEnd);
        EXPECT_TRUE(harness.runOut()) << "every timer and task has ended";
        EXPECT_EQ(harness.connection().starts(), startsAtStop);
        auto again = harness.begin(harness.transport().connect());
        ASSERT_TRUE(harness.runUntil([&] { return async::test::isReady(again); }));
        EXPECT_EQ(failureOf(again), "Connection closed");
    }
}

TEST(NetworkTransportTest, ATransportDroppedWithoutDisconnectStopsAllTheSame) {
    NetworkTransportHarness harness(Reconnection::defaultConfiguration, Heartbeat(true, 0.001));
    harness.connect();
    const auto stream = harness.transport().receive();
    harness.dropTransport();
    EXPECT_TRUE(harness.runOut());
    EXPECT_TRUE(stream.isFinished());
    EXPECT_EQ(harness.connection().starts(), 1);
    EXPECT_GE(harness.connection().cancels(), 1);
}

}  // namespace
}  // namespace lumenary::mcp::testing
