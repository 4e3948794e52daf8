// The first-run guide without a window: its steps, the once-only category
// reset, the finish, and page 2's permission polling.
#include <gtest/gtest.h>

#include <QTimer>

#include "app/ui/onboarding_view_model.hpp"
#include "app/ui/panel_harness.hpp"

namespace lumenary::app::testing {
namespace {

using namespace std::chrono_literals;
using Kind = PermissionCategory::Kind;
using ui::OnboardingViewModel;

// The guide over the harness's core, counting its finishes.
struct Guide {
    explicit Guide(PanelHarness& harness)
        : model(harness.bridge(), harness.defaults, [this] { ++finishes; }) {}

    int finishes = 0;
    OnboardingViewModel model;
};

bool anyCategoryOn(PanelHarness& harness) {
    return harness.onCore([&harness] {
        for (std::size_t index = 0; index < toolCategoryCount; ++index) {
            if (harness.tools->isEnabled(static_cast<ToolCategoryKind>(index))) return true;
        }
        return false;
    });
}

void switchEveryCategoryOn(PanelHarness& harness) {
    harness.onCore([&harness] {
        for (std::size_t index = 0; index < toolCategoryCount; ++index) {
            harness.tools->setEnabled(static_cast<ToolCategoryKind>(index), true);
        }
    });
    harness.settleCore();
}

struct StepCase {
    const char* name;
    // e: 立即进入, n: 下一步, p: 上一步
    const char* presses;
    int step;
};

class OnboardingStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(OnboardingStepTest, OnlyTheButtonsMoveThePageOneAtATimeWithinTheFour) {
    PanelHarness harness;
    Guide guide(harness);
    for (const char press : std::string(GetParam().presses)) {
        switch (press) {
            case 'e': guide.model.enter(); break;
            case 'n': guide.model.goToNextStep(); break;
            case 'p': guide.model.goToPreviousStep(); break;
        }
    }
    EXPECT_EQ(guide.model.currentStep(), GetParam().step);
    EXPECT_EQ(guide.finishes, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Presses, OnboardingStepTest,
    ::testing::Values(StepCase{"Fresh", "", 1}, StepCase{"Entered", "e", 2}, StepCase{"ToTheToolPage", "en", 3},
                      StepCase{"ToTheClosingPage", "enn", 4}, StepCase{"NothingAfterTheLast", "ennnn", 4},
                      StepCase{"BackFromTheClosingPage", "ennp", 3}, StepCase{"BackToTheWelcome", "ep", 1},
                      StepCase{"NothingBeforeTheFirst", "epp", 1}),
    [](const auto& entry) { return std::string(entry.param.name); });

TEST(OnboardingViewModel, FinishCallsTheOwnersClosureOncePerPressAndRecordsNothing) {
    PanelHarness harness;
    Guide guide(harness);
    const auto writesBefore = harness.defaults.writeCount();

    guide.model.finish();
    EXPECT_EQ(guide.finishes, 1);
    guide.model.finish();
    EXPECT_EQ(guide.finishes, 2);
    EXPECT_EQ(harness.defaults.writeCount(), writesBefore);
    EXPECT_FALSE(harness.defaults.object("hasCompletedOnboarding").has_value());
}

TEST(OnboardingViewModel, TheFirstShowingEverSwitchesEveryCategoryOffAndLaterShowingsLeaveThem) {
    PanelHarness harness;
    switchEveryCategoryOn(harness);

    {
        Guide first(harness);
        first.model.appeared();
        harness.settleCore();
        EXPECT_FALSE(anyCategoryOn(harness));
        EXPECT_TRUE(harness.defaults.boolean("hasShownOnboarding"));
    }

    // The guide was closed unfinished: the next launch shows it again.
    switchEveryCategoryOn(harness);
    Guide second(harness);
    second.model.appeared();
    harness.settleCore();
    EXPECT_TRUE(harness.onCore([&harness] { return harness.tools->isEnabled(ToolCategoryKind::calendar); }));
    EXPECT_TRUE(harness.onCore([&harness] { return harness.tools->isEnabled(ToolCategoryKind::vision); }));
}

TEST(OnboardingViewModel, APollingIntervalOfZeroOrLessIsRefusedAndKeepsTheLastOne) {
    PanelHarness harness;
    Guide guide(harness);
    for (const auto interval : {0ms, -1ms, -1000ms}) {
        const auto refusal = guide.model.setPollingInterval(interval);
        ASSERT_TRUE(refusal.has_value()) << interval.count();
        EXPECT_NE(std::string(refusal->what()).find(std::to_string(interval.count())), std::string::npos) << refusal->what();
    }
    EXPECT_FALSE(guide.model.setPollingInterval(1ms).has_value());
}

struct PollingCase {
    const char* name;
    bool windowVisible;
    int step;
    bool polls;
};

class OnboardingPollingTest : public ::testing::TestWithParam<PollingCase> {};

TEST_P(OnboardingPollingTest, PollsOnlyWhilePageTwoShowsInAVisibleWindow) {
    const auto& given = GetParam();
    PanelHarness harness;
    Guide guide(harness);
    // The page is chosen behind a hidden window, which then shows or not.
    guide.model.enter();
    while (guide.model.currentStep() < given.step) guide.model.goToNextStep();
    while (guide.model.currentStep() > given.step) guide.model.goToPreviousStep();
    guide.model.setWindowVisible(given.windowVisible);

    EXPECT_EQ(guide.model.isPolling(), given.polls);
    harness.settleProbes();
    EXPECT_EQ(harness.permissions->statusCount(), given.polls ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(States, OnboardingPollingTest,
                         ::testing::Values(PollingCase{"PageTwoShown", true, 2, true},
                                           PollingCase{"PageTwoHidden", false, 2, false},
                                           PollingCase{"WelcomeShown", true, 1, false},
                                           PollingCase{"ToolPageShown", true, 3, false},
                                           PollingCase{"ClosingPageShown", true, 4, false}),
                         [](const auto& entry) { return std::string(entry.param.name); });

TEST(OnboardingViewModel, StartingThePollingReadsBothPermissionsAtOnce) {
    PanelHarness harness;
    harness.permissions->setStatus(Kind::accessibility, PermissionStatus::granted);
    harness.permissions->setStatus(Kind::fullDiskAccess, PermissionStatus::denied);
    Guide guide(harness);
    // No tick could come before the test ends.
    ASSERT_FALSE(guide.model.setPollingInterval(1h).has_value());
    guide.model.setWindowVisible(true);
    guide.model.enter();

    ASSERT_TRUE(waitUntil([&] { return guide.model.isAccessibilityEnabled(); }));
    EXPECT_FALSE(guide.model.isFullDiskAccessEnabled());
}

TEST(OnboardingViewModel, EachTickFollowsAGrantAndARevocation) {
    PanelHarness harness;
    harness.permissions->setStatus(Kind::fullDiskAccess, PermissionStatus::denied);
    Guide guide(harness);
    ASSERT_FALSE(guide.model.setPollingInterval(10ms).has_value());
    guide.model.setWindowVisible(true);
    guide.model.enter();
    harness.settleProbes();
    ASSERT_FALSE(guide.model.isFullDiskAccessEnabled());

    harness.permissions->setStatus(Kind::fullDiskAccess, PermissionStatus::granted);
    EXPECT_TRUE(waitUntil([&] { return guide.model.isFullDiskAccessEnabled(); }));
    harness.permissions->setStatus(Kind::fullDiskAccess, PermissionStatus::denied);
    EXPECT_TRUE(waitUntil([&] { return !guide.model.isFullDiskAccessEnabled(); }));
}

TEST(OnboardingViewModel, HidingTheWindowOrLeavingPageTwoStopsThePollingAndShowingItAgainRestartsIt) {
    PanelHarness harness;
    Guide guide(harness);
    ASSERT_FALSE(guide.model.setPollingInterval(5ms).has_value());
    guide.model.setWindowVisible(true);
    guide.model.enter();
    ASSERT_TRUE(guide.model.isPolling());

    for (const auto& [leave, back] : std::vector<std::pair<std::function<void()>, std::function<void()>>>{
             {[&] { guide.model.setWindowVisible(false); }, [&] { guide.model.setWindowVisible(true); }},
             {[&] { guide.model.goToNextStep(); }, [&] { guide.model.goToPreviousStep(); }},
             {[&] { guide.model.goToPreviousStep(); }, [&] { guide.model.enter(); }}}) {
        leave();
        EXPECT_FALSE(guide.model.isPolling());
        harness.settleProbes();
        const auto probes = harness.permissions->statusCount();
        // Five intervals pass with no probe.
        int ticks = 0;
        QTimer clock;
        clock.setInterval(5ms);
        QObject::connect(&clock, &QTimer::timeout, [&ticks] { ++ticks; });
        clock.start();
        ASSERT_TRUE(waitUntil([&ticks] { return ticks >= 5; }));
        harness.settleProbes();
        EXPECT_EQ(harness.permissions->statusCount(), probes);

        back();
        EXPECT_TRUE(guide.model.isPolling());
        EXPECT_TRUE(waitUntil([&] { return harness.permissions->statusCount() > probes; }));
    }
}

TEST(OnboardingViewModel, ATickWhileTheLastProbeHasNotAnsweredStartsNoOther) {
    PanelHarness harness;
    Guide guide(harness);
    ASSERT_FALSE(guide.model.setPollingInterval(2ms).has_value());
    harness.permissions->holdStatuses();
    guide.model.setWindowVisible(true);
    guide.model.enter();
    ASSERT_TRUE(waitUntil([&] { return harness.permissions->statusCount() == 1; }));

    int ticks = 0;
    QTimer clock;
    clock.setInterval(2ms);
    QObject::connect(&clock, &QTimer::timeout, [&ticks] { ++ticks; });
    clock.start();
    ASSERT_TRUE(waitUntil([&ticks] { return ticks >= 10; }));
    guide.model.setWindowVisible(false);
    harness.permissions->releaseStatuses();
    harness.settleProbes();

    // The one refresh that started: its two probes, on the one worker.
    EXPECT_EQ(harness.permissions->statusCount(), 2u);
}

struct RowButtonCase {
    const char* name;
    Kind kind;
    PermissionStatus status;
    // The hint under the row after its button.
    const char* hint;
};

class OnboardingPermissionButtonTest : public ::testing::TestWithParam<RowButtonCase> {};

TEST_P(OnboardingPermissionButtonTest, TheButtonOpensWhatTheProbeNamesAndShowsItsHintWhileNotHeld) {
    const auto& given = GetParam();
    PanelHarness harness;
    harness.permissions->setStatus(given.kind, given.status);
    harness.permissions->setGuidance(given.kind, guidanceOf("如何开启", std::string("/tmp")));
    Guide guide(harness);
    guide.model.setWindowVisible(true);
    guide.model.enter();
    harness.settleProbes();
    const auto hint = [&] {
        return given.kind == Kind::accessibility ? guide.model.accessibilityHint() : guide.model.fullDiskAccessHint();
    };
    EXPECT_TRUE(hint().isEmpty());

    if (given.kind == Kind::accessibility) {
        guide.model.openAccessibilitySettings();
    } else {
        guide.model.openFullDiskAccessSettings();
    }
    harness.settleProbes();

    const auto opened = harness.permissions->opened();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.front().kind, given.kind);
    EXPECT_EQ(hint().toStdString(), given.hint);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OnboardingPermissionButtonTest,
    ::testing::Values(RowButtonCase{"DesktopControlNotHeld", Kind::accessibility, PermissionStatus::notDetermined, "如何开启"},
                      RowButtonCase{"DesktopControlHeld", Kind::accessibility, PermissionStatus::granted, ""},
                      RowButtonCase{"MessagesDatabaseNotHeld", Kind::fullDiskAccess, PermissionStatus::denied, "如何开启"},
                      RowButtonCase{"MessagesDatabaseHeld", Kind::fullDiskAccess, PermissionStatus::granted, ""}),
    [](const auto& entry) { return std::string(entry.param.name); });

}  // namespace
}  // namespace lumenary::app::testing
