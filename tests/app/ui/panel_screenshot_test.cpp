#include "app/ui/panel_qml_fixture.hpp"
#include "app/ui/screenshot_comparison.hpp"

namespace lumenary::app::ui::testing {
namespace {

// The endpoint addresses show the port, so the pages are drawn with the
// service on one fixed port; on a machine where something else holds it
// the running state cannot be drawn and its test says so.
constexpr std::uint16_t screenshotPort = 47613;

// Each page in one fixed state, drawn and compared with its reference in
// tests/app/ui/references/. The harness's categories have fixed names and
// lengths, so a tool added to the program's catalogue redraws nothing.
class PanelScreenshotTest : public PanelQmlTest {
protected:
    PanelScreenshotTest()
        : PanelQmlTest([](platform::MemoryDefaultsStore& defaults) {
              defaults.setInteger("mcp_server_port", screenshotPort);
          }) {}

    void expectMatches(const char* name) {
        const ScreenshotComparison comparison = compareWithReference(scene->grab(), QString::fromLatin1(name));
        EXPECT_TRUE(comparison.matches) << comparison.report.toStdString();
    }
};

TEST_F(PanelScreenshotTest, MainPageWithTheServiceRunning) {
    scene->click(shown("serviceSwitch"));
    const bool settled = waitUntil(
        [this] { return models.serviceCard()->isRunning() || !models.serviceCard()->failureText().isEmpty(); });
    ASSERT_TRUE(settled);
    if (!models.serviceCard()->isRunning()) {
        GTEST_SKIP() << "port " << screenshotPort << " is taken: " << models.serviceCard()->failureText().toStdString();
    }
    // The endpoint rows slide in under the pointer left on the switch, and
    // a row under the pointer shows its copy buttons once the hover lands:
    // a move away settles the picture before it is taken.
    scene->hover(shown("logo"));
    expectMatches("main-running");
}

TEST_F(PanelScreenshotTest, MainPageStoppedInTheDarkAppearance) {
    showPanel(PanelScene::Appearance::dark);
    expectMatches("main-stopped-dark");
}

TEST_F(PanelScreenshotTest, ToolCategoriesPageWithOneCategoryUnfolded) {
    scene->click(shown("toolsRow"));
    scene->click(itemsNamed(root(), "categoryHeader").at(4));
    expectMatches("tools");
}

TEST_F(PanelScreenshotTest, CallRecordsPageWithOneSectionUnfolded) {
    recordCalls("music_play", "音乐", 3);
    recordCalls("music_next_track", "音乐", 1);
    recordCalls("calendar_list_events", "日历", 2);
    scene->click(shown("callCountTile"));
    ASSERT_TRUE(waitUntil([this] { return shownItemsNamed(root(), "recordSection").size() == 2; }));
    scene->click(shownItemsNamed(root(), "sectionHeader").front());
    expectMatches("records");
}

TEST_F(PanelScreenshotTest, CallRecordsPageEmpty) {
    scene->click(shown("callCountTile"));
    expectMatches("records-empty");
}

TEST_F(PanelScreenshotTest, PermissionAlertOverTheToolsPageUnderTheCopyToast) {
    permissions.setStatus(PermissionCategory::Kind::calendar, PermissionStatus::denied);
    permissions.setGuidance(PermissionCategory::Kind::calendar, {"日历文件夹不可读写：请检查 ~/.local/share/lumenary/calendars 的权限。",
                                   "/home/user/.local/share/lumenary/calendars", std::nullopt});
    scene->click(shown("toolsRow"));
    scene->click(itemsNamed(root(), "categorySwitch").front());
    ASSERT_TRUE(waitUntil([this] { return !shownItemsNamed(root(), "permissionAlert").empty(); }));
    models.panel()->setShowCopySuccess(true);
    expectMatches("alert");
}

TEST_F(PanelScreenshotTest, SettingsPage) {
    scene->click(shown("settingsRow"));
    expectMatches("settings");
}

TEST_F(PanelScreenshotTest, SettingsPageWithThePermissionsUnfolded) {
    permissions.setStatus(PermissionCategory::Kind::calendar, PermissionStatus::granted);
    permissions.setStatus(PermissionCategory::Kind::reminders, PermissionStatus::notDetermined);
    scene->click(shown("settingsRow"));
    scene->click(shown("permissionsRow"));
    ASSERT_TRUE(waitUntil([this] { return !shownTexts("permissionStatus").contains(QString()); }));
    expectMatches("settings-permissions");
}

}  // namespace
}  // namespace lumenary::app::ui::testing
