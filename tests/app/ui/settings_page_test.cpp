// The settings page's view-model over a real server manager: the port field
// and the dice, launch at login against a temporary autostart folder, the
// document rows, the update check, the share toast and "退出".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <QElapsedTimer>

#include "app/settings/project_documents.hpp"
#include "app/settings/random_port.hpp"
#include "app/ui/panel_harness.hpp"
#include "platform/program/program_version.hpp"

namespace lumenary::app::testing {
namespace {

using namespace std::chrono_literals;

// A listener on 127.0.0.1 that keeps its port busy while it lives.
struct BusyPort {
    asio::io_context context;
    asio::ip::tcp::acceptor acceptor{context, {asio::ip::make_address("127.0.0.1"), 0}};
    std::uint16_t port() const { return acceptor.local_endpoint().port(); }
};

TEST(SettingsPage, ThePortFieldWritesOnlyAPortItsCommittedTextNames) {
    struct Case {
        std::string what;
        QString text;
        // The port written, or none: the field shows the current port again.
        std::optional<std::uint16_t> written;
    };
    const QString fullWidth = QString::fromUtf8("８０８０");
    const QString mixed = QString::fromUtf8("80８0");
    const std::vector<Case> cases = {
        {"empty", "", std::nullopt},
        {"zero", "0", std::nullopt},
        {"leading zero", "08080", 8080},
        {"a letter among the digits", "80a80", 8080},
        {"the highest port", "65535", 65535},
        {"one above the highest", "65536", std::nullopt},
        {"far above", "70000", std::nullopt},
        {"full-width digits", fullWidth, std::nullopt},
        {"a full-width digit among ASCII ones", mixed, std::nullopt},
        {"10,000 digits", QString(10000, QLatin1Char('1')), std::nullopt},
        {"10,000 characters ending in a port", QString(9996, QLatin1Char('x')) + "9090", 9090},
    };
    PanelHarness harness;
    auto& settings = harness.settings();
    const std::uint16_t start = 40123;
    for (const Case& entry : cases) {
        SCOPED_TRACE(entry.what);
        harness.onCore([&harness, start] { harness.manager->setCustomPort(start); });
        harness.settleCore();
        ASSERT_EQ(settings.portText(), QString::number(start));

        const QString shown = settings.commitPortText(entry.text);

        const std::uint16_t expected = entry.written.value_or(start);
        EXPECT_EQ(shown, QString::number(expected));
        EXPECT_EQ(harness.portOnCore(), expected);
        EXPECT_EQ(harness.defaults.integer("mcp_server_port"), expected);
        harness.settleCore();
        EXPECT_EQ(settings.portText(), QString::number(expected));
    }
}

TEST(SettingsPage, TheDiceNeverDrawsTheCurrentPortABusyOneOrOneBelow1024) {
    const BusyPort busy;
    PanelHarness harness;
    auto& settings = harness.settings();
    // Most candidates are ones the dice must pass over.
    int call = 0;
    harness.portCandidates = [&] {
        switch (call++ % 4) {
            case 0: return busy.port();
            case 1: return static_cast<std::uint16_t>(settings.portText().toUInt());
            case 2: return static_cast<std::uint16_t>(80);
            default: return drawPortCandidate();
        }
    };
    std::uint16_t current = harness.portOnCore();
    for (int draw = 0; draw < 1000; ++draw) {
        settings.randomizePort();
        const std::uint16_t drawn = harness.portOnCore();
        ASSERT_NE(drawn, current) << "draw " << draw;
        ASSERT_NE(drawn, busy.port()) << "draw " << draw;
        ASSERT_GE(drawn, 1024) << "draw " << draw;
        EXPECT_EQ(settings.portText(), QString::number(drawn));
        current = drawn;
        // Snapshots of earlier draws arrive in between, as they do in use.
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(harness.defaults.integer("mcp_server_port"), current);
    EXPECT_TRUE(harness.settingsLines.empty());
}

TEST(SettingsPage, ADiceThatFindsNoFreePortKeepsThePortAndSaysWhy) {
    const BusyPort busy;
    PanelHarness harness;
    const std::uint16_t before = harness.portOnCore();
    harness.portCandidates = [&] { return busy.port(); };

    harness.settings().randomizePort();

    EXPECT_EQ(harness.portOnCore(), before);
    ASSERT_EQ(harness.settingsLines.size(), 1u);
    EXPECT_TRUE(harness.settingsLines.front().starts_with("[Settings] The dice found no port: "))
        << harness.settingsLines.front();
    EXPECT_NE(harness.settingsLines.front().find(std::to_string(before)), std::string::npos);
}

TEST(SettingsPage, LaunchAtLoginShowsWhatTheEntrySaysAndRereadsItEachShowing) {
    PanelHarness harness;
    auto& settings = harness.settings();
    EXPECT_FALSE(settings.launchAtLogin());

    settings.setLaunchAtLogin(true);
    EXPECT_TRUE(settings.launchAtLogin());
    EXPECT_TRUE(harness.loginItem.isRegistered());

    std::filesystem::remove(harness.autostartEntry);
    EXPECT_TRUE(settings.launchAtLogin()) << "read only when the page shows";
    settings.pageShown();
    EXPECT_FALSE(settings.launchAtLogin());

    ASSERT_FALSE(harness.loginItem.registerItem().has_value());
    settings.pageShown();
    EXPECT_TRUE(settings.launchAtLogin());
    settings.setLaunchAtLogin(false);
    EXPECT_FALSE(settings.launchAtLogin());
    EXPECT_FALSE(std::filesystem::exists(harness.autostartEntry));
    EXPECT_TRUE(harness.launchAtLoginLines.empty());
}

TEST(SettingsPage, AFailedLaunchAtLoginWriteLeavesTheSwitchOffAndLogsOneLine) {
    PanelHarness harness;
    std::ofstream(harness.autostartEntry.parent_path()) << "a file where the folder belongs";

    harness.settings().setLaunchAtLogin(true);

    EXPECT_FALSE(harness.settings().launchAtLogin());
    ASSERT_EQ(harness.launchAtLoginLines.size(), 1u);
    EXPECT_TRUE(harness.launchAtLoginLines.front().starts_with("[LaunchAtLogin] cannot turn launch at login on"))
        << harness.launchAtLoginLines.front();
}

TEST(SettingsPage, TheDocumentRowsOpenTheProjectsDocumentOffTheUIThread) {
    PanelHarness harness;
    harness.settings().openDocument();
    harness.settings().openDocument();

    const std::string expected = documentAddress(buildProjectAddress(), sourceReadmePath());
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(harness.openedLinks(), (std::vector<std::string>{expected, expected}));
}

TEST(SettingsPage, TheUpdateCheckNamesTheBuildsVersionAndGoesWhenThePageShowsAgain) {
    PanelHarness harness;
    auto& settings = harness.settings();
    const QString version = QString::fromStdString("v" + platform::programVersion());
    ASSERT_GT(version.size(), 1);
    EXPECT_EQ(settings.versionText(), version);
    EXPECT_TRUE(settings.updateMessage().isEmpty());

    settings.checkForUpdates();

    EXPECT_EQ(settings.updateMessage(),
              QStringLiteral("当前版本 ") + version +
                  QStringLiteral("。此版本不会联网检查更新，请用安装它的方式获取新版本。"));
    settings.pageShown();
    EXPECT_TRUE(settings.updateMessage().isEmpty());
}

TEST(SettingsPage, SharingCopiesTheTextAndTheToastHidesTheIntervalAfterTheFirstPress) {
    PanelHarness harness;
    auto& settings = harness.settings();
    const auto interval = 600ms;
    ASSERT_FALSE(settings.setToastInterval(interval).has_value());

    QElapsedTimer sinceFirst;
    sinceFirst.start();
    settings.shareToFriends();
    EXPECT_TRUE(harness.panel().showCopySuccess());
    ASSERT_TRUE(waitUntil([&] { return sinceFirst.elapsed() >= 300; }));
    settings.shareToFriends();
    const qint64 second = sinceFirst.elapsed();
    ASSERT_TRUE(waitUntil([&] { return !harness.panel().showCopySuccess(); }));

    const qint64 hidden = sinceFirst.elapsed();
    EXPECT_GE(hidden, interval.count());
    EXPECT_LT(hidden, second + interval.count()) << "the second press put off the hide";
    const QString text = QString::fromStdString(shareText(buildProjectAddress()));
    EXPECT_EQ(harness.pasted, (QStringList{text, text}));
    EXPECT_TRUE(text.startsWith(QStringLiteral("推荐一个好用的 MCP 工具 - Lumenary，连接 AI 助手与 Linux 原生能力")));
}

TEST(SettingsPage, AToastIntervalOfZeroOrLessIsRefused) {
    PanelHarness harness;
    for (const auto interval : {0ms, -1ms, -2000ms}) {
        const auto error = harness.settings().setToastInterval(interval);
        ASSERT_TRUE(error.has_value()) << interval.count();
        EXPECT_NE(std::string(error->what()).find(std::to_string(interval.count())), std::string::npos);
    }
}

TEST(SettingsPage, QuitRunsTheProgramsOrderlyStopOnce) {
    PanelHarness harness;
    harness.settings().quit();
    EXPECT_EQ(harness.quitRequests, 1);
}

}  // namespace
}  // namespace lumenary::app::testing
