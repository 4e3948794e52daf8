// The first-run window as the user meets it: opened by the application
// delegate at launch until the guide is finished, its four pages drawn and
// moved by their buttons, and each page compared with its reference.
#include <QFont>
#include <QGuiApplication>
#include <QScreen>

#include "app/ui/onboarding_window_fixture.hpp"
#include "app/ui/screenshot_comparison.hpp"

namespace lumenary::app::ui::testing {
namespace {

using Kind = PermissionCategory::Kind;

TEST_F(OnboardingWindowTest, AFirstLaunchOpensOneCentredFloatingWindowOfFixedSizeOnTheWelcomePage) {
    launch();
    ASSERT_NE(window(), nullptr);

    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(window()->title().toStdString(), "Lumenary 引导设置");
    EXPECT_EQ(window()->size(), QSize(520, 600));
    EXPECT_EQ(window()->minimumSize(), QSize(520, 600));
    EXPECT_EQ(window()->maximumSize(), QSize(520, 600));
    EXPECT_TRUE(window()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(window()->flags().testFlag(Qt::WindowMinimizeButtonHint));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window()->geometry().center(), area.center());
    EXPECT_NE(shown("welcomePage"), nullptr);
    EXPECT_TRUE(harness.defaults.boolean("hasShownOnboarding"));
}

TEST_F(OnboardingWindowTest, ALaunchAfterTheGuideWasFinishedOpensNoWindow) {
    harness.defaults.setBoolean("hasCompletedOnboarding", true);
    launch();
    EXPECT_EQ(window(), nullptr);
    EXPECT_FALSE(harness.defaults.object("hasShownOnboarding").has_value());
}

TEST_F(OnboardingWindowTest, TheFinishButtonRecordsCompletionAndClosesTheWindowForGood) {
    launch();
    click(shown("enterButton"));
    click(shown("nextStepButton"));
    click(shown("nextStepButton"));
    ASSERT_EQ(onboarding().currentStep(), 4);
    QPointer<FirstRunWindow> finished(window());

    click(shown("finishButton"));

    EXPECT_TRUE(harness.defaults.boolean("hasCompletedOnboarding"));
    EXPECT_EQ(window(), nullptr);
    EXPECT_TRUE(waitUntil([&finished] { return finished.isNull(); }));
    launch();
    EXPECT_EQ(window(), nullptr);
}

TEST_F(OnboardingWindowTest, TheCloseButtonHidesTheWindowStopsThePollingAndTheNextLaunchOpensItAgain) {
    launch();
    click(shown("enterButton"));
    ASSERT_TRUE(onboarding().isPolling());
    FirstRunWindow* first = window();

    first->close();

    EXPECT_FALSE(first->isVisible());
    EXPECT_FALSE(onboarding().isPolling());
    EXPECT_FALSE(harness.defaults.object("hasCompletedOnboarding").has_value());
    // Not again during this run.
    delegate->showOnboarding();
    EXPECT_EQ(window(), first);
    EXPECT_FALSE(first->isVisible());

    launch();
    ASSERT_NE(window(), nullptr);
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(onboarding().currentStep(), 1);
}

TEST_F(OnboardingWindowTest, EachPageShowsItsTextsAndOnlyItsButtonsMoveOn) {
    launch();
    const QStringList welcome{"Lumenary", "让 AI 驱动你的电脑，释放生产力", "立即进入"};
    const QStringList permissionPage{"需要一些权限", "仅在需要时调用，请放心开启", "辅助功能",
                                  "开启",         "允许 AI 控制界面和执行操作",   "完全磁盘访问",
                                  "开启",         "允许 AI 读取信息和其他文件",   "上一步",
                                  "下一步"};
    const QStringList tools{"选择要开启的工具"};
    const QStringList closing{"一切准备就绪", "在系统托盘可以看到图标，点击即可进入配置", "上一步", "开始使用"};
    permissions.setStatus(Kind::accessibility, PermissionStatus::notDetermined);
    permissions.setStatus(Kind::fullDiskAccess, PermissionStatus::denied);
    const auto expectTheGuideFamily = [this] {
        for (QQuickItem* text : shownTextItems(root())) {
            EXPECT_EQ(text->property("font").value<QFont>().family().toStdString(), "Noto Sans CJK SC")
                << text->property("text").toString().toStdString();
        }
    };

    EXPECT_EQ(allShownTexts(), welcome);
    expectTheGuideFamily();
    click(shown("enterButton"));
    ASSERT_TRUE(waitUntil([this] { return harness.permissions->statusCount() >= 2; }));
    harness.settleProbes();
    EXPECT_EQ(allShownTexts(), permissionPage);
    expectTheGuideFamily();
    click(shown("nextStepButton"));
    EXPECT_EQ(shownTexts("toolRowTitle"), (QStringList{"日历", "提醒事项", "通讯录", "信息", "邮件", "音乐"}));
    EXPECT_EQ(allShownTexts().mid(0, 1), tools);
    expectTheGuideFamily();
    click(shown("nextStepButton"));
    EXPECT_EQ(allShownTexts(), closing);
    expectTheGuideFamily();
    click(shown("closingBackButton"));
    EXPECT_EQ(onboarding().currentStep(), 3);
    click(shown("previousStepButton"));
    EXPECT_EQ(onboarding().currentStep(), 2);
    click(shown("previousStepButton"));
    EXPECT_EQ(onboarding().currentStep(), 1);
    EXPECT_EQ(allShownTexts(), welcome);
}

TEST_F(OnboardingWindowTest, DraggingOrScrollingThePagesMovesNothing) {
    launch();
    settle();
    const QPoint from(400, 300);
    QTest::mousePress(window(), Qt::LeftButton, Qt::NoModifier, from);
    for (int step = 1; step <= 10; ++step) {
        QTest::mouseMove(window(), from - QPoint(step * 30, 0));
    }
    QTest::mouseRelease(window(), Qt::LeftButton, Qt::NoModifier, from - QPoint(300, 0));
    QWheelEvent wheel(QPointF(from), QPointF(window()->mapToGlobal(from)), QPoint(), QPoint(-240, 0), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(window(), &wheel);
    QCoreApplication::processEvents();

    EXPECT_EQ(onboarding().currentStep(), 1);
    EXPECT_NE(shown("welcomePage"), nullptr);
    EXPECT_TRUE(shownItemsNamed(root(), "permissionPage").empty());
}

TEST_F(OnboardingWindowTest, APermissionRowShowsTheBadgeWhileHeldAndTheButtonShowsTheHintOtherwise) {
    permissions.setStatus(Kind::accessibility, PermissionStatus::granted);
    permissions.setStatus(Kind::fullDiskAccess, PermissionStatus::denied);
    permissions.setGuidance(Kind::fullDiskAccess, app::testing::guidanceOf("信息数据库 ~/.local/share/lumenary/chat.db 不可读。"));
    launch();
    click(shown("enterButton"));
    ASSERT_TRUE(waitUntil([this] { return onboarding().isAccessibilityEnabled(); }));
    harness.settleProbes();

    QQuickItem* accessibility = shown("accessibilityRow");
    QQuickItem* fullDiskAccess = shown("fullDiskAccessRow");
    EXPECT_EQ(shownItemsNamed(accessibility, "grantedBadge").size(), 1u);
    EXPECT_TRUE(shownItemsNamed(accessibility, "openButton").empty());
    EXPECT_TRUE(shownItemsNamed(fullDiskAccess, "grantedBadge").empty());
    EXPECT_TRUE(shownItemsNamed(fullDiskAccess, "permissionHint").empty());

    click(shownItem(fullDiskAccess, "openButton"));
    harness.settleProbes();

    EXPECT_EQ(textsOf(shownItemsNamed(fullDiskAccess, "permissionHint")),
              QStringList{"信息数据库 ~/.local/share/lumenary/chat.db 不可读。"});
    ASSERT_EQ(permissions.opened().size(), 1u);
    EXPECT_EQ(permissions.opened().front().kind, Kind::fullDiskAccess);
}

TEST_F(OnboardingWindowTest, AToolRowSwitchShowsTheCategoryOnOnlyOnceItsAnswerCame) {
    permissions.holdRequests();
    launch();
    click(shown("enterButton"));
    click(shown("nextStepButton"));
    const auto switches = shownItemsNamed(root(), "toolRowSwitch");
    ASSERT_EQ(switches.size(), 6u);

    click(switches[0]);
    ASSERT_TRUE(waitUntil([this] { return permissions.heldCount() == 1; }));
    EXPECT_FALSE(switches[0]->property("checked").toBool());
    ASSERT_TRUE(permissions.answerHeld(true));
    EXPECT_TRUE(waitUntil([&switches] { return switches[0]->property("checked").toBool(); }));

    scrollToolListTo(switches[4]);
    click(switches[4]);
    EXPECT_TRUE(waitUntil([&switches] { return switches[4]->property("checked").toBool(); }));
    EXPECT_TRUE(harness.switchOnCore(ToolCategoryKind::mail));
}

class OnboardingScreenshotTest : public OnboardingWindowTest {
protected:
    void expectMatches(const char* name) {
        const ScreenshotComparison comparison = compareWithReference(grab(), QString::fromLatin1(name));
        EXPECT_TRUE(comparison.matches) << comparison.report.toStdString();
    }
};

TEST_F(OnboardingScreenshotTest, TheFourPages) {
    permissions.setStatus(Kind::accessibility, PermissionStatus::granted);
    permissions.setStatus(Kind::fullDiskAccess, PermissionStatus::denied);
    permissions.setGuidance(Kind::fullDiskAccess, app::testing::guidanceOf("信息数据库 ~/.local/share/lumenary/chat.db 不可读。"));
    launch();
    expectMatches("onboarding-welcome");

    click(shown("enterButton"));
    ASSERT_TRUE(waitUntil([this] { return onboarding().isAccessibilityEnabled(); }));
    harness.settleProbes();
    click(shownItem(shown("fullDiskAccessRow"), "openButton"));
    harness.settleProbes();
    expectMatches("onboarding-permissions");

    click(shown("nextStepButton"));
    harness.onCore([this] { harness.tools->setEnabled(ToolCategoryKind::mail, true); });
    harness.settleCore();
    expectMatches("onboarding-tools");

    click(shown("nextStepButton"));
    expectMatches("onboarding-closing");
}

}  // namespace
}  // namespace lumenary::app::ui::testing
