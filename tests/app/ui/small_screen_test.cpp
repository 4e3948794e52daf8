// The panel and the guide on a small screen (1024 × 600): every control within reach, the last row scrolled into view
// by the wheel, the keys and a drag, and nothing left running to wake the
// program once a page is left.
#include <QTest>

#include "app/ui/onboarding_window_fixture.hpp"
#include "app/ui/panel_qml_fixture.hpp"
#include "app/ui/reachable_controls.hpp"
#include "app/ui/screenshot_comparison.hpp"

namespace lumenary::app::ui::testing {
namespace {

using Kind = PermissionCategory::Kind;

constexpr QSize smallScreen(1024, 600);

class SmallScreenPanelTest : public PanelQmlTest {
protected:
    // The settings page shows the port: the pictures are drawn on one.
    SmallScreenPanelTest()
        : PanelQmlTest([](platform::MemoryDefaultsStore& defaults) { defaults.setInteger("mcp_server_port", 47613); }) {}

    bool waitUntilStill(std::chrono::milliseconds deadline) {
        return app::testing::waitUntil([this] { return runningTimers(root()).isEmpty(); }, deadline);
    }

    void SetUp() override {
        PanelQmlTest::SetUp();
        scene->boundByScreen(QRect(QPoint(0, 0), smallScreen));
        scene->window().requestActivate();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&scene->window()));
    }

    // The page as drawn, every control reachable, and `lastName` brought
    // into view by each gesture.
    void expectScrollsToTheEnd(const char* reference, const QString& lastName) {
        const ScreenshotComparison comparison = compareWithReference(scene->grab(), QString::fromLatin1(reference));
        EXPECT_TRUE(comparison.matches) << comparison.report.toStdString();
        ASSERT_LT(scene->window().height(), shown("pageScroller")->property("contentHeight").toReal())
            << "the page fits the screen: nothing to scroll";
        expectEveryControlReachable(scene->window(), root(), smallScreen);
        for (const auto gesture : {ScrollGesture::wheel, ScrollGesture::keys, ScrollGesture::drag}) {
            EXPECT_TRUE(scrollsIntoView(scene->window(), shown("pageScroller"), shown(lastName), gesture))
                << nameOf(gesture);
        }
    }
};

TEST_F(SmallScreenPanelTest, TheToolsPageWithEveryCategoryUnfoldedScrollsWithinTheScreen) {
    scene->click(shown("toolsRow"));
    for (int row = 0; row < models.toolCategories()->rowCount(); ++row) {
        models.toolCategories()->toggleExpanded(row);
    }
    expectScrollsToTheEnd("tools-small-screen", QStringLiteral("reconnectNote"));
}

TEST_F(SmallScreenPanelTest, TheSettingsPageWithThePermissionsUnfoldedScrollsWithinTheScreen) {
    scene->click(shown("settingsRow"));
    scene->click(shown("permissionsRow"));
    ASSERT_TRUE(waitUntil([this] { return !shownTexts("permissionStatus").contains(QString()); }));
    expectScrollsToTheEnd("settings-small-screen", QStringLiteral("quitButton"));
}

TEST_F(SmallScreenPanelTest, ThePortFieldLeftWithTheFocusStopsBlinkingWhenItsPageIsLeft) {
    scene->click(shown("settingsRow"));
    scene->click(shown("portField"));
    ASSERT_TRUE(shown("portField")->hasActiveFocus());
    EXPECT_TRUE(runningTimers(root()).contains(QStringLiteral("caretBlink"))) << "the caret does not blink";

    scene->click(shown("backButton"));
    // A press leaves its press-and-hold timer to run out once; the caret's
    // blink would run for ever.
    EXPECT_TRUE(waitUntilStill(std::chrono::seconds(3))) << runningTimers(root()).join(u' ').toStdString();
    EXPECT_FALSE(itemsNamed(root(), "portField").front()->hasActiveFocus());
}

TEST_F(SmallScreenPanelTest, TheDiceTipLiesInsideThePanel) {
    scene->click(shown("settingsRow"));
    QQuickItem* dice = shown("diceButton");
    scene->hover(dice);
    ASSERT_TRUE(waitUntil([this] { return !shownItemsNamed(root(), "diceTip").empty(); }));
    QQuickItem* tip = shown("diceTip");
    const QRectF drawn = tip->mapRectToScene(QRectF(0, 0, tip->width(), tip->height()));
    EXPECT_TRUE(QRectF(0, 0, scene->window().width(), scene->window().height()).contains(drawn))
        << drawn.x() << " + " << drawn.width() << " in " << scene->window().width();
}

class SmallScreenGuideTest : public OnboardingWindowTest {};

TEST_F(SmallScreenGuideTest, ThePermissionRowsWithBothHintsScrollClearOfTheStepButtons) {
    permissions.setStatus(Kind::accessibility, PermissionStatus::denied);
    permissions.setGuidance(Kind::accessibility, app::testing::guidanceOf(
                                                     "桌面的辅助功能尚未开启：请在系统设置的辅助功能中打开“辅助技术”，"
                                                     "注销后重新登录，然后回到这里。"));
    permissions.setStatus(Kind::fullDiskAccess, PermissionStatus::denied);
    permissions.setGuidance(Kind::fullDiskAccess, app::testing::guidanceOf(
                                                      "信息数据库 ~/.local/share/lumenary/chat.db 不可读：请在文件管理器中把它的"
                                                      "读取权限交给当前用户，或把 LUMENARY_MESSAGES_DB 指向一份可读的副本，然后回到这里。"));
    launch();
    click(shown("enterButton"));
    for (const char* row : {"accessibilityRow", "fullDiskAccessRow"}) {
        click(shownItem(shown(row), "openButton"));
        harness.settleProbes();
    }
    ASSERT_EQ(shownItemsNamed(root(), "permissionHint").size(), 2u);
    const ScreenshotComparison comparison = compareWithReference(grab(), QStringLiteral("onboarding-permission-hints"));
    EXPECT_TRUE(comparison.matches) << comparison.report.toStdString();

    expectEveryControlReachable(*window(), root(), smallScreen);
    QQuickItem* list = shown("permissionRowList");
    const QRectF buttons = shown("nextStepButton")->mapRectToScene(QRectF(0, 0, 1, 1));
    EXPECT_LE(list->mapRectToScene(QRectF(0, 0, list->width(), list->height())).bottom(), buttons.top());
    for (const auto gesture : {ScrollGesture::wheel, ScrollGesture::drag}) {
        EXPECT_TRUE(scrollsIntoView(*window(), list, shownItemsNamed(root(), "permissionHint").back(), gesture))
            << nameOf(gesture);
    }
}

TEST_F(SmallScreenGuideTest, TheToolListsScrollBarLiesBesideTheRows) {
    launch();
    click(shown("enterButton"));
    click(shown("nextStepButton"));
    settle();
    QQuickItem* list = shown("toolRowList");
    QQuickItem* bar = shown("toolRowScrollBar");
    const QRectF rows = list->mapRectToScene(QRectF(0, 0, list->width(), list->height()));
    const QRectF drawn = bar->mapRectToScene(QRectF(0, 0, bar->width(), bar->height()));
    EXPECT_FALSE(rows.intersects(drawn));
    expectEveryControlReachable(*window(), root(), smallScreen);
}

}  // namespace
}  // namespace lumenary::app::ui::testing
