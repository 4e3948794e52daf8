// The settings page drawn offscreen over the real view-models: its rows in
// order, the permissions section, the port field's commits, the launch at
// login switch read again on each showing, and the rows' actions.
#include <filesystem>

#include <QTest>

#include "app/settings/project_documents.hpp"
#include "app/ui/panel_qml_fixture.hpp"
#include "platform/program/program_version.hpp"

namespace lumenary::app::ui::testing {
namespace {

class SettingsPageQmlTest : public PanelQmlTest {
protected:
    void openSettings() { scene->click(shown("settingsRow")); }

    QQuickItem* portField() { return shown("portField"); }

    // Focuses the port field and replaces its text by typing `text` (ASCII).
    void typeIntoPortField(const QString& text) {
        QQuickItem* field = portField();
        ASSERT_NE(field, nullptr);
        scene->click(field);
        ASSERT_TRUE(field->hasActiveFocus());
        QTest::keyClick(&scene->window(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&scene->window(), Qt::Key_Backspace);
        for (const QChar character : text) {
            QTest::keyClick(&scene->window(), character.toLatin1());
        }
        QCoreApplication::processEvents();
    }
};

TEST_F(SettingsPageQmlTest, ThePageShowsItsRowsInOrder) {
    openSettings();
    QQuickItem* page = shown("settingsPage");
    ASSERT_NE(page, nullptr);
    QStringList texts = textsOf(shownTextItems(page));
    const QString port = QString::number(harness.portOnCore());
    const QString version = QString::fromStdString("v" + platform::programVersion());
    EXPECT_EQ(texts, (QStringList{"开机自启动", "MCP端口", port, "权限状态", "关于我们", "使用教程", "检查更新", version,
                                  "分享给好友", "退出"}));
    EXPECT_NE(shown("banner"), nullptr);
    EXPECT_TRUE(shownItemsNamed(root(), "permissionsContent").empty());
    EXPECT_TRUE(shownItemsNamed(root(), "updateMessage").empty());
}

TEST_F(SettingsPageQmlTest, ThePermissionsRowUnfoldsTheStatusesTurningItsChevronAndFoldsThemAgain) {
    permissions.setStatus(PermissionCategory::Kind::calendar, PermissionStatus::granted);
    permissions.setStatus(PermissionCategory::Kind::reminders, PermissionStatus::notDetermined);
    openSettings();
    EXPECT_EQ(shown("permissionsChevron")->rotation(), 0);

    scene->click(shown("permissionsRow"));
    ASSERT_NE(shown("permissionsContent"), nullptr);
    EXPECT_EQ(shown("permissionsChevron")->rotation(), 90);
    EXPECT_EQ(shownTexts("permissionTitle"), (QStringList{"日历", "提醒事项"}));
    ASSERT_TRUE(waitUntil([this] { return !shownTexts("permissionStatus").contains(QString()); }));
    EXPECT_EQ(shownTexts("permissionStatus"), (QStringList{"✅ 已授权 (authorized)", "⏳ 未请求 (notDetermined)"}));
    // Only the reminders row offers a request.
    QQuickItem* reminders = shown("remindersPermission");
    EXPECT_TRUE(shownItemsNamed(shown("calendarPermission"), "requestButton").empty());
    ASSERT_EQ(shownItemsNamed(reminders, "requestButton").size(), 1u);

    permissions.setRequestAnswer(PermissionCategory::Kind::reminders, true);
    permissions.setStatus(PermissionCategory::Kind::reminders, PermissionStatus::granted);
    scene->click(shownIn(reminders, "requestButton"));
    ASSERT_TRUE(waitUntil([this] { return shownItemsNamed(root(), "requestButton").empty(); }));
    EXPECT_EQ(shownTexts("permissionStatus"), (QStringList{"✅ 已授权 (authorized)", "✅ 已授权 (authorized)"}));
    ASSERT_EQ(permissions.requested().size(), 1u);
    EXPECT_EQ(permissions.requested().front().kind, PermissionCategory::Kind::reminders);

    scene->click(shown("permissionsRow"));
    EXPECT_TRUE(shownItemsNamed(root(), "permissionsContent").empty());
    EXPECT_EQ(shown("permissionsChevron")->rotation(), 0);
}

TEST_F(SettingsPageQmlTest, TheStatusesAreReadAgainEachTimeThePageShowsThemUnfolded) {
    openSettings();
    scene->click(shown("permissionsRow"));
    ASSERT_TRUE(waitUntil([this] { return shownTexts("permissionStatus").count("✅ 已授权 (authorized)") == 2; }));
    scene->click(shown("backButton"));

    permissions.setStatus(PermissionCategory::Kind::calendar, PermissionStatus::denied);
    openSettings();
    ASSERT_NE(shown("permissionsContent"), nullptr) << "the section stays unfolded";
    EXPECT_TRUE(waitUntil([this] { return shownTexts("permissionStatus").contains("❌ 已拒绝 (denied)"); }));
}

TEST_F(SettingsPageQmlTest, ThePortFieldWritesOnEnterNeverWhileTyping) {
    openSettings();
    const std::uint16_t before = harness.portOnCore();
    const std::uint16_t wanted = before == 47001 ? 47002 : 47001;

    typeIntoPortField(QString::number(wanted));
    harness.settleCore();
    EXPECT_EQ(harness.portOnCore(), before) << "a keystroke wrote the port";

    QTest::keyClick(&scene->window(), Qt::Key_Return);
    EXPECT_EQ(harness.portOnCore(), wanted);
    EXPECT_EQ(portField()->property("text").toString(), QString::number(wanted));
}

TEST_F(SettingsPageQmlTest, ThePortFieldWritesWhenItLosesFocus) {
    openSettings();
    const std::uint16_t before = harness.portOnCore();
    const std::uint16_t wanted = before == 47003 ? 47004 : 47003;

    typeIntoPortField(QString::number(wanted));
    scene->click(shown("backButton"));

    EXPECT_EQ(harness.portOnCore(), wanted);
}

TEST_F(SettingsPageQmlTest, AnEmptiedPortFieldWritesNothingAndShowsTheCurrentPortAgain) {
    openSettings();
    const std::uint16_t before = harness.portOnCore();

    typeIntoPortField(QString());
    QTest::keyClick(&scene->window(), Qt::Key_Return);
    harness.settleCore();

    EXPECT_EQ(harness.portOnCore(), before);
    EXPECT_EQ(portField()->property("text").toString(), QString::number(before));
}

TEST_F(SettingsPageQmlTest, AFocusChangeWithoutAnEditWritesNothing) {
    openSettings();
    int writes = 0;
    QObject::connect(&harness.bridge(), &CoreBridge::snapshotChanged, [&writes] { ++writes; });
    scene->click(portField());
    scene->click(shown("backButton"));
    harness.settleCore();
    EXPECT_EQ(writes, 0);
}

TEST_F(SettingsPageQmlTest, TheDiceWritesAnotherPortAndShowsItsTipOnHover) {
    openSettings();
    const std::uint16_t before = harness.portOnCore();

    scene->click(shown("diceButton"));

    const std::uint16_t drawn = harness.portOnCore();
    EXPECT_NE(drawn, before);
    EXPECT_EQ(portField()->property("text").toString(), QString::number(drawn));
    scene->hover(shown("diceButton"));
    ASSERT_TRUE(waitUntil([this] { return !shownItemsNamed(root(), "diceTip").empty(); }));
    EXPECT_EQ(shownTexts("diceTipText"), QStringList{"随机生成端口"});
}

TEST_F(SettingsPageQmlTest, TheLaunchAtLoginSwitchReadsTheEntryEachTimeThePageShows) {
    openSettings();
    EXPECT_FALSE(shown("launchAtLoginSwitch")->property("checked").toBool());
    scene->click(shown("backButton"));

    ASSERT_FALSE(harness.loginItem.registerItem().has_value());
    openSettings();
    EXPECT_TRUE(shown("launchAtLoginSwitch")->property("checked").toBool());

    scene->click(shown("launchAtLoginSwitch"));
    EXPECT_FALSE(shown("launchAtLoginSwitch")->property("checked").toBool());
    EXPECT_FALSE(std::filesystem::exists(harness.autostartEntry));

    // A tray panel hidden and opened again shows the page anew.
    ASSERT_FALSE(harness.loginItem.registerItem().has_value());
    scene->window().hide();
    scene->window().show();
    EXPECT_TRUE(waitUntil([this] { return shown("launchAtLoginSwitch")->property("checked").toBool(); }));
}

TEST_F(SettingsPageQmlTest, TheRowsOpenTheDocumentCheckForUpdatesShareAndQuit) {
    openSettings();
    scene->click(shown("banner"));
    scene->click(shown("aboutRow"));
    scene->click(shown("tutorialRow"));
    const std::string document = documentAddress(buildProjectAddress(), sourceReadmePath());
    EXPECT_EQ(harness.openedLinks(), (std::vector<std::string>(3, document)));

    scene->click(shown("checkUpdateRow"));
    ASSERT_EQ(shownTexts("updateMessage").size(), 1);
    EXPECT_TRUE(shownTexts("updateMessage").front().startsWith("当前版本 v"));

    scene->click(shown("shareRow"));
    EXPECT_EQ(harness.pasted, QStringList{QString::fromStdString(shareText(buildProjectAddress()))});
    EXPECT_NE(shown("copyToast"), nullptr);

    EXPECT_EQ(harness.quitRequests, 0);
    scene->click(shown("quitButton"));
    EXPECT_EQ(harness.quitRequests, 1);
}

}  // namespace
}  // namespace lumenary::app::ui::testing
