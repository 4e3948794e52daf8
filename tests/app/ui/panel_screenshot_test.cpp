#include "app/tools/fake_tool_category.hpp"
#include "app/ui/panel_qml_fixture.hpp"
#include "app/ui/screenshot_comparison.hpp"

namespace lumenary::app::ui::testing {
namespace {

// Categories of fixed lengths with fixed tools, so that a tool added to
// the program's catalogue does not redraw a reference.
ToolCategories fixedCategories() {
    ToolCategories categories;
    // In the order of ToolCategoryKind.
    const std::array<const char*, toolCategoryCount> prefixes{"calendar", "reminders", "contacts", "messages", "notes",
                                                              "mail",     "music",     "maps",     "desktop",  "vision"};
    const std::array<int, toolCategoryCount> lengths{4, 5, 2, 3, 3, 1, 11, 3, 5, 9};
    for (std::size_t index = 0; index < toolCategoryCount; ++index) {
        const std::string category(prefixes[index]);
        std::vector<std::string> names;
        for (int tool = 1; tool <= lengths[index]; ++tool) {
            names.push_back(category + "_tool_" + std::to_string(tool));
        }
        categories[index] = std::make_shared<app::testing::FakeToolCategory>(std::move(names));
    }
    return categories;
}

// Each page in one fixed state, drawn and compared with its reference in
// tests/app/ui/references/.
class PanelScreenshotTest : public PanelQmlTest {
protected:
    PanelScreenshotTest() : PanelQmlTest(fixedCategories()) {}

    void expectMatches(const char* name) {
        const ScreenshotComparison comparison = compareWithReference(scene->grab(), QString::fromLatin1(name));
        EXPECT_TRUE(comparison.matches) << comparison.report.toStdString();
    }
};

// The endpoint addresses show the port, so the running page needs one
// fixed port; on a machine where something else holds it the state
// cannot be drawn and the test says so.
constexpr std::uint16_t screenshotPort = 47613;

TEST_F(PanelScreenshotTest, MainPageWithTheServiceRunning) {
    core.startService(screenshotPort);
    const bool running = waitUntil([this] {
        return models->serviceCard()->isRunning() || !models->serviceCard()->failureText().isEmpty();
    });
    ASSERT_TRUE(running);
    if (!models->serviceCard()->isRunning()) {
        GTEST_SKIP() << "port " << screenshotPort << " is taken: " << models->serviceCard()->failureText().toStdString();
    }
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
    core.recordCalls("music_play", "音乐", 3);
    core.recordCalls("music_next_track", "音乐", 1);
    core.recordCalls("calendar_list_events", "日历", 2);
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
    core.permissions->setStatus(PermissionCategory::Kind::calendar, PermissionStatus::denied);
    core.permissions->setGuidance({"日历文件夹不可读写：请检查 ~/.local/share/lumenary/calendars 的权限。",
                                   "/home/user/.local/share/lumenary/calendars", std::nullopt});
    scene->click(shown("toolsRow"));
    scene->click(itemsNamed(root(), "categorySwitch").front());
    ASSERT_TRUE(waitUntil([this] { return !shownItemsNamed(root(), "permissionAlert").empty(); }));
    models->panel()->setShowCopySuccess(true);
    expectMatches("alert");
}

}  // namespace
}  // namespace lumenary::app::ui::testing
