// The six tool rows of the guide's page 3 without a window: what each asks
// before switching on, and that no late answer overrides a newer choice.
#include <gtest/gtest.h>

#include "app/ui/onboarding_tool_rows_view_model.hpp"
#include "app/ui/panel_harness.hpp"

namespace lumenary::app::testing {
namespace {

using Kind = PermissionCategory::Kind;
using ui::OnboardingToolRowsViewModel;

QString hintOf(const OnboardingToolRowsViewModel& rows, int row) {
    return rows.data(rows.index(row), OnboardingToolRowsViewModel::HintRole).toString();
}

bool pending(const OnboardingToolRowsViewModel& rows, int row) {
    return rows.data(rows.index(row), OnboardingToolRowsViewModel::IsPendingRole).toBool();
}

struct RowCase {
    const char* name;
    int row;
    ToolCategoryKind kind;
    // What the fake answers: a request for rows with one, the status for
    // "信息".
    bool granted;
    std::optional<Kind> requested;
    std::optional<Kind> opened;
    bool switchedOn;
    const char* hint;
};

class OnboardingToolRowTest : public ::testing::TestWithParam<RowCase> {};

TEST_P(OnboardingToolRowTest, SwitchingOnAsksWhatTheRowNeedsAndOnlyATrueAnswerSwitches) {
    const auto& given = GetParam();
    PanelHarness harness;
    for (const auto kind : {Kind::calendar, Kind::reminders, Kind::contacts}) {
        harness.permissions->setRequestAnswer(kind, given.granted);
        harness.permissions->setStatus(kind, PermissionStatus::notDetermined);
    }
    harness.permissions->setStatus(Kind::fullDiskAccess,
                                   given.granted ? PermissionStatus::granted : PermissionStatus::denied);
    harness.permissions->setGuidance(Kind::fullDiskAccess, guidanceOf("信息数据库不可读", std::string("/tmp")));
    OnboardingToolRowsViewModel rows(harness.bridge());

    rows.setToolEnabled(given.row, true);
    ASSERT_TRUE(waitUntil([&] { return !pending(rows, given.row); }));
    harness.settleProbes();
    harness.settleCore();

    EXPECT_EQ(harness.switchOnCore(given.kind), given.switchedOn);
    EXPECT_EQ(rows.data(rows.index(given.row), OnboardingToolRowsViewModel::IsEnabledRole).toBool(), given.switchedOn);
    const auto requested = harness.permissions->requested();
    ASSERT_EQ(requested.size(), given.requested ? 1u : 0u);
    if (given.requested) {
        EXPECT_EQ(requested.front().kind, *given.requested);
    }
    const auto opened = harness.permissions->opened();
    ASSERT_EQ(opened.size(), given.opened ? 1u : 0u);
    if (given.opened) {
        EXPECT_EQ(opened.front().kind, *given.opened);
    }
    EXPECT_EQ(hintOf(rows, given.row).toStdString(), given.hint);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OnboardingToolRowTest,
    ::testing::Values(
        RowCase{"CalendarGranted", 0, ToolCategoryKind::calendar, true, Kind::calendar, {}, true, ""},
        RowCase{"CalendarRefused", 0, ToolCategoryKind::calendar, false, Kind::calendar, {}, false, ""},
        RowCase{"RemindersGranted", 1, ToolCategoryKind::reminders, true, Kind::reminders, {}, true, ""},
        RowCase{"RemindersRefused", 1, ToolCategoryKind::reminders, false, Kind::reminders, {}, false, ""},
        RowCase{"ContactsGranted", 2, ToolCategoryKind::contacts, true, Kind::contacts, {}, true, ""},
        RowCase{"ContactsRefused", 2, ToolCategoryKind::contacts, false, Kind::contacts, {}, false, ""},
        RowCase{"MessagesReadable", 3, ToolCategoryKind::messages, true, {}, Kind::fullDiskAccess, true, ""},
        RowCase{"MessagesUnreadable", 3, ToolCategoryKind::messages, false, {}, Kind::fullDiskAccess, false,
                "信息数据库不可读"},
        RowCase{"Mail", 4, ToolCategoryKind::mail, false, {}, {}, true, ""},
        RowCase{"Music", 5, ToolCategoryKind::music, false, {}, {}, true, ""}),
    [](const auto& entry) { return std::string(entry.param.name); });

TEST(OnboardingToolRows, SwitchingOffTakesEffectAtOnceWithoutAsking) {
    PanelHarness harness;
    harness.onCore([&harness] {
        for (const auto kind : {ToolCategoryKind::calendar, ToolCategoryKind::messages, ToolCategoryKind::music}) {
            harness.tools->setEnabled(kind, true);
        }
    });
    harness.settleCore();
    OnboardingToolRowsViewModel rows(harness.bridge());

    for (const int row : {0, 3, 5}) {
        rows.setToolEnabled(row, false);
    }
    harness.settleCore();

    for (const auto kind : {ToolCategoryKind::calendar, ToolCategoryKind::messages, ToolCategoryKind::music}) {
        EXPECT_FALSE(harness.switchOnCore(kind));
    }
    EXPECT_TRUE(harness.permissions->requested().empty());
    EXPECT_TRUE(harness.permissions->opened().empty());
}

TEST(OnboardingToolRows, AGrantThatArrivesAfterTheRowWasSwitchedOffIsDropped) {
    PanelHarness harness;
    harness.permissions->holdRequests();
    OnboardingToolRowsViewModel rows(harness.bridge());

    rows.setToolEnabled(0, true);
    ASSERT_TRUE(waitUntil([&] { return harness.permissions->heldCount() == 1; }));
    rows.setToolEnabled(0, false);
    EXPECT_FALSE(pending(rows, 0));
    ASSERT_TRUE(harness.permissions->answerHeld(true));
    harness.settleProbes();
    harness.settleCore();

    EXPECT_FALSE(harness.switchOnCore(ToolCategoryKind::calendar));
}

TEST(OnboardingToolRows, AnOldGrantDoesNotAnswerTheNewerRequestOfTheSameRow) {
    PanelHarness harness;
    harness.permissions->holdRequests();
    OnboardingToolRowsViewModel rows(harness.bridge());

    rows.setToolEnabled(1, true);
    ASSERT_TRUE(waitUntil([&] { return harness.permissions->heldCount() == 1; }));
    rows.setToolEnabled(1, false);
    rows.setToolEnabled(1, true);
    ASSERT_TRUE(waitUntil([&] { return harness.permissions->heldCount() == 2; }));

    // The dropped request is granted, the newer one refused.
    ASSERT_TRUE(harness.permissions->answerHeld(true));
    harness.settleProbes();
    EXPECT_TRUE(pending(rows, 1));
    ASSERT_TRUE(harness.permissions->answerHeld(false));
    ASSERT_TRUE(waitUntil([&] { return !pending(rows, 1); }));
    harness.settleCore();

    EXPECT_FALSE(harness.switchOnCore(ToolCategoryKind::reminders));
}

TEST(OnboardingToolRows, ASecondSwitchOnWhileOneIsPendingAsksNoSecondTime) {
    PanelHarness harness;
    harness.permissions->holdRequests();
    OnboardingToolRowsViewModel rows(harness.bridge());

    rows.setToolEnabled(2, true);
    rows.setToolEnabled(2, true);
    ASSERT_TRUE(waitUntil([&] { return harness.permissions->heldCount() == 1; }));
    ASSERT_TRUE(harness.permissions->answerHeld(true));
    ASSERT_TRUE(waitUntil([&] { return !pending(rows, 2); }));
    harness.settleCore();

    EXPECT_EQ(harness.permissions->requested().size(), 1u);
    EXPECT_TRUE(harness.switchOnCore(ToolCategoryKind::contacts));
}

TEST(OnboardingToolRows, TheRowsFollowSwitchesChangedElsewhere) {
    PanelHarness harness;
    OnboardingToolRowsViewModel rows(harness.bridge());
    harness.onCore([&harness] { harness.tools->setEnabled(ToolCategoryKind::mail, true); });
    harness.settleCore();
    EXPECT_TRUE(waitUntil(
        [&] { return rows.data(rows.index(4), OnboardingToolRowsViewModel::IsEnabledRole).toBool(); }));
}

}  // namespace
}  // namespace lumenary::app::testing
