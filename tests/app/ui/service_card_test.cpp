// The main page's figures, the "启动 MCP" switch and the endpoint rows over
// a real server manager on a free loopback port.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "app/ui/panel_harness.hpp"

namespace lumenary::app::testing {
namespace {

using namespace std::chrono_literals;

TEST(ServiceCard, AStoppedServiceShowsNotStartedRowsAndTheStdioRowWithOneButton) {
    PanelHarness harness;
    auto& card = harness.card();
    ASSERT_TRUE(harness.bridge().snapshot().mcpURL.empty());

    EXPECT_FALSE(card.isRunning());
    EXPECT_EQ(card.badgeText(), QStringLiteral("已关闭"));
    for (auto* row : {card.mcpRow(), card.sseRow()}) {
        EXPECT_EQ(row->content(), QStringLiteral("未启动"));
        EXPECT_FALSE(row->showCopy());
    }
    EXPECT_EQ(card.stdioRow()->content(), QStringLiteral("适用于仅支持命令模式的客户端"));
    EXPECT_TRUE(card.stdioRow()->showCopy());
    EXPECT_FALSE(card.stdioRow()->hasCopyLink());
    EXPECT_TRUE(card.stdioRow()->hasCopyJSON());
}

TEST(ServiceCard, TheSwitchStartsAndStopsTheServiceAndTheBadgeFollows) {
    PanelHarness harness;
    auto& card = harness.card();

    card.setServiceEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return card.isRunning(); }));
    EXPECT_TRUE(card.isEnabled());
    EXPECT_EQ(card.badgeText(), QStringLiteral("已开启"));
    const auto url = QString::fromStdString(harness.onCore([&harness] { return harness.manager->mcpURL(); }));
    EXPECT_EQ(card.mcpRow()->content(), url);
    EXPECT_TRUE(url.endsWith(QStringLiteral("/mcp")));
    EXPECT_TRUE(card.sseRow()->content().endsWith(QStringLiteral("/sse")));

    card.setServiceEnabled(false);
    ASSERT_TRUE(waitUntil([&] { return !card.isRunning(); }));
    EXPECT_FALSE(card.isEnabled());
    EXPECT_EQ(card.badgeText(), QStringLiteral("已关闭"));
}

TEST(ServiceCard, AFailedStartSaysWhy) {
    asio::io_context blocker;
    asio::ip::tcp::acceptor taken(blocker, {asio::ip::make_address("127.0.0.1"), 0});
    const auto port = taken.local_endpoint().port();
    PanelHarness harness([port](auto& defaults) { defaults.setInteger("mcp_server_port", port); });

    harness.card().setServiceEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return !harness.card().failureText().isEmpty(); }));

    const auto error = harness.onCore([&harness] { return harness.manager->lastError(); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(harness.card().failureText(), QStringLiteral("启动失败：") + QString::fromStdString(*error));
    EXPECT_FALSE(harness.card().isRunning());
    EXPECT_FALSE(harness.card().isEnabled());
}

TEST(ServiceCard, BothHTTPRowsCopyTheConfigurationThatNamesTheMCPURL) {
    PanelHarness harness;
    harness.card().setServiceEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return harness.card().isRunning(); }));
    const auto mcpURL = harness.card().mcpRow()->content();

    harness.card().sseRow()->copyJSON();
    harness.card().sseRow()->copyLink();
    harness.card().mcpRow()->copyJSON();
    harness.card().stdioRow()->copyJSON();

    ASSERT_EQ(harness.pasted.size(), 4);
    EXPECT_TRUE(harness.pasted[0].contains(QStringLiteral("\"url\": \"") + mcpURL + QStringLiteral("\"")));
    EXPECT_TRUE(harness.pasted[1].endsWith(QStringLiteral("/sse")));
    EXPECT_EQ(harness.pasted[2], harness.pasted[0]);
    EXPECT_TRUE(harness.pasted[3].contains(QStringLiteral("\"command\": \"/opt/lumenary/bin/lumenary\"")));
}

TEST(ServiceCard, TilesCountEnabledToolsAndEveryCall) {
    PanelHarness harness;
    EXPECT_EQ(harness.card().enabledToolCount(), 0);

    harness.onCore([&harness] { harness.tools->setCalendarEnabled(true); });
    harness.settleCore();
    EXPECT_EQ(harness.card().enabledToolCount(), 4);

    for (const auto* name : {"tool_0_0", "no_such_tool", "tool_1_0"}) {
        harness.onCore([&harness, name] {
            asio::co_spawn(harness.strand, harness.tools->callTool(name, {}), asio::detached);
        });
    }
    ASSERT_TRUE(waitUntil([&] { return harness.card().toolCallCount() == 3; }));
}

TEST(EndpointRow, TheTipStaysForTheIntervalAfterTheLatestCopy) {
    QStringList pasted;
    ui::EndpointRowViewModel row(QStringLiteral("MCP"), [&pasted](const QString& text) { pasted.append(text); });
    ASSERT_FALSE(row.setTipInterval(300ms).has_value());

    row.copyToPasteboard(QStringLiteral("first"));
    ASSERT_TRUE(row.showCopiedTip());
    // A second copy before the tip went starts the interval again.
    ASSERT_TRUE(waitUntil([&] { return pasted.size() == 1; }));
    QElapsedTimer sinceSecond;
    row.copyToPasteboard(QStringLiteral("second"));
    sinceSecond.start();

    ASSERT_TRUE(waitUntil([&] { return !row.showCopiedTip(); }, 5s));
    EXPECT_GE(sinceSecond.elapsed(), 290);
    EXPECT_EQ(pasted, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
}

TEST(EndpointRow, AnEmptyTextCopiesNothingAndShowsNoTip) {
    QStringList pasted;
    ui::EndpointRowViewModel row(QStringLiteral("SSE"), [&pasted](const QString& text) { pasted.append(text); });

    row.copyToPasteboard(QString());
    row.copyLink();  // no link at all

    EXPECT_TRUE(pasted.isEmpty());
    EXPECT_FALSE(row.showCopiedTip());
}

TEST(EndpointRow, AnIntervalOfZeroOrLessIsRefused) {
    ui::EndpointRowViewModel row(QStringLiteral("MCP"), [](const QString&) {});
    for (const auto interval : {0ms, -1ms, -2000ms}) {
        const auto refusal = row.setTipInterval(interval);
        ASSERT_TRUE(refusal.has_value()) << interval.count();
        EXPECT_NE(std::string(refusal->what()).find(std::to_string(interval.count())), std::string::npos);
    }
}

}  // namespace
}  // namespace lumenary::app::testing
