// The permission gate in front of each category switch, over the real tool
// service and a fake permission manager.
#include <gtest/gtest.h>

#include "app/ui/panel_harness.hpp"

namespace lumenary::app::testing {
namespace {

using Kind = PermissionCategory::Kind;
using ui::ToolCategoriesViewModel;

// The panel's rows and the permission each one asks.
struct Row {
    int row;
    ToolCategoryKind kind;
    Kind permission;
    const char* name;
};
constexpr std::array<Row, toolCategoryCount> rows{{
    {0, ToolCategoryKind::calendar, Kind::calendar, "日历"},
    {1, ToolCategoryKind::reminders, Kind::reminders, "提醒事项"},
    {2, ToolCategoryKind::contacts, Kind::contacts, "通讯录"},
    {3, ToolCategoryKind::messages, Kind::fullDiskAccess, "信息"},
    {4, ToolCategoryKind::mail, Kind::automation, "邮件"},
    {5, ToolCategoryKind::notes, Kind::automation, "备忘录"},
    {6, ToolCategoryKind::music, Kind::automation, "音乐"},
    {7, ToolCategoryKind::maps, Kind::none, "地图"},
    {8, ToolCategoryKind::desktopControl, Kind::accessibility, "macOS Control"},
    {9, ToolCategoryKind::vision, Kind::none, "视觉识别"},
}};

struct Outcome {
    PermissionStatus status;
    bool requestAnswer;
    bool switchedOn;
    bool alert;
    bool requested;
};
constexpr std::array<Outcome, 4> outcomes{{
    {PermissionStatus::granted, false, true, false, false},
    {PermissionStatus::denied, true, false, true, false},
    {PermissionStatus::notDetermined, true, true, false, true},
    // No system prompt has spoken here: a refusal says how to grant.
    {PermissionStatus::notDetermined, false, false, true, true},
}};

QVariant role(PanelHarness& harness, int row, int role) {
    return harness.categories().data(harness.categories().index(row), role);
}

bool pending(PanelHarness& harness, int row) {
    return role(harness, row, ToolCategoriesViewModel::IsPendingRole).toBool();
}

// Switches a row on and waits until its gate has answered and whatever it
// wrote has reached the core.
void switchOnAndSettle(PanelHarness& harness, int row) {
    harness.categories().setCategoryEnabled(row, true);
    ASSERT_TRUE(waitUntil([&] {
        harness.settleProbes();
        return !pending(harness, row);
    }));
    harness.settleCore();
}

TEST(ToolCategoriesGate, EveryCategoryFollowsItsPermissionStatusAndRequest) {
    for (const auto& row : rows) {
        for (const auto& outcome : outcomes) {
            SCOPED_TRACE(std::string(row.name) + " status " + std::to_string(static_cast<int>(outcome.status)) +
                         " answer " + std::to_string(outcome.requestAnswer));
            PanelHarness harness;
            harness.permissions->setStatus(row.permission, outcome.status);
            harness.permissions->setRequestAnswer(row.permission, outcome.requestAnswer);
            harness.permissions->setGuidance(row.permission, guidanceOf("在这里授权。", "/tmp"));

            switchOnAndSettle(harness, row.row);

            EXPECT_EQ(harness.switchOnCore(row.kind), outcome.switchedOn);
            EXPECT_EQ(role(harness, row.row, ToolCategoriesViewModel::IsEnabledRole).toBool(), outcome.switchedOn);
            EXPECT_EQ(harness.panel().showingPermissionAlert(), outcome.alert);
            EXPECT_EQ(harness.permissions->requested().size(), outcome.requested ? 1u : 0u);
            if (outcome.alert) {
                EXPECT_EQ(harness.panel().alertMessage(),
                          QStringLiteral("无法开启") + QString::fromUtf8(row.name) +
                              QStringLiteral("工具，因为缺少必要的系统权限。在这里授权。"));
            }
        }
    }
}

TEST(ToolCategoriesGate, SwitchingOffNeverAsks) {
    PanelHarness harness([](auto& defaults) { defaults.setBoolean("isCalendarEnabled", true); });
    harness.permissions->setStatus(Kind::calendar, PermissionStatus::denied);
    ASSERT_TRUE(harness.switchOnCore(ToolCategoryKind::calendar));

    harness.categories().setCategoryEnabled(0, false);
    harness.settleCore();

    EXPECT_FALSE(harness.switchOnCore(ToolCategoryKind::calendar));
    EXPECT_FALSE(harness.panel().showingPermissionAlert());
    EXPECT_TRUE(harness.permissions->requested().empty());
}

TEST(ToolCategoriesGate, AnAnswerAfterASwitchOffNeverTurnsTheCategoryOn) {
    PanelHarness harness;
    harness.permissions->setStatus(Kind::automation, PermissionStatus::notDetermined);
    harness.permissions->holdRequests();
    harness.categories().setCategoryEnabled(4, true);
    ASSERT_TRUE(waitUntil([&] { return harness.permissions->heldCount() == 1; }));

    harness.categories().setCategoryEnabled(4, false);
    EXPECT_FALSE(pending(harness, 4));
    ASSERT_TRUE(harness.permissions->answerHeld(true));
    harness.settleProbes();
    harness.settleCore();

    EXPECT_FALSE(harness.switchOnCore(ToolCategoryKind::mail));
    EXPECT_FALSE(harness.panel().showingPermissionAlert());
}

TEST(ToolCategoriesGate, ACategoryHasOneRequestPendingAtATime) {
    PanelHarness harness;
    harness.permissions->setStatus(Kind::contacts, PermissionStatus::notDetermined);
    harness.permissions->holdRequests();
    harness.categories().setCategoryEnabled(2, true);
    ASSERT_TRUE(waitUntil([&] { return harness.permissions->heldCount() == 1; }));

    harness.categories().setCategoryEnabled(2, true);
    harness.settleProbes();
    EXPECT_EQ(harness.permissions->requested().size(), 1u);
    EXPECT_TRUE(pending(harness, 2));

    ASSERT_TRUE(harness.permissions->answerHeld(true));
    ASSERT_TRUE(waitUntil([&] {
        harness.settleProbes();
        return !pending(harness, 2);
    }));
    harness.settleCore();
    EXPECT_TRUE(harness.switchOnCore(ToolCategoryKind::contacts));
}

TEST(ToolCategoriesGate, AStaleGateIsDroppedWhileANewOneDecides) {
    PanelHarness harness;
    harness.permissions->setStatus(Kind::reminders, PermissionStatus::notDetermined);
    harness.permissions->holdRequests();
    harness.categories().setCategoryEnabled(1, true);
    ASSERT_TRUE(waitUntil([&] { return harness.permissions->heldCount() == 1; }));
    harness.categories().setCategoryEnabled(1, false);
    harness.categories().setCategoryEnabled(1, true);
    ASSERT_TRUE(waitUntil([&] { return harness.permissions->heldCount() == 2; }));

    // The first (stale) request says yes, the second no.
    ASSERT_TRUE(harness.permissions->answerHeld(true));
    ASSERT_TRUE(harness.permissions->answerHeld(false));
    ASSERT_TRUE(waitUntil([&] {
        harness.settleProbes();
        return !pending(harness, 1);
    }));
    harness.settleCore();

    EXPECT_FALSE(harness.switchOnCore(ToolCategoryKind::reminders));
    EXPECT_TRUE(harness.panel().showingPermissionAlert());
}

TEST(ToolCategoriesGate, ToolCountsComeFromEveryWholeListWhateverTheSwitch) {
    PanelHarness harness;
    const std::array<const char*, toolCategoryCount> counts{"4 个工具", "5 个工具", "2 个工具", "3 个工具", "1 个工具",
                                                            "3 个工具", "11 个工具", "3 个工具", "5 个工具", "9 个工具"};
    for (int row = 0; row < harness.categories().rowCount(); ++row) {
        EXPECT_FALSE(role(harness, row, ToolCategoriesViewModel::IsEnabledRole).toBool());
        EXPECT_EQ(role(harness, row, ToolCategoriesViewModel::DisplayNameRole).toString(),
                  QString::fromUtf8(rows[static_cast<std::size_t>(row)].name));
        EXPECT_EQ(role(harness, row, ToolCategoriesViewModel::ToolCountTextRole).toString(),
                  QString::fromUtf8(counts[static_cast<std::size_t>(row)]));
    }
    const auto music = role(harness, 6, ToolCategoriesViewModel::ToolsRole).toList();
    ASSERT_EQ(music.size(), 11);
    EXPECT_EQ(music.front().toMap().value("name").toString(), QStringLiteral("tool_6_0"));
}

TEST(ToolCategoriesGate, StoredSwitchesShowAsStoredWithoutAnyAccess) {
    PanelHarness harness([](auto& defaults) {
        for (const auto& row : toolCategoryTable) {
            defaults.setBoolean(row.switchKey, true);
        }
    });
    for (int row = 0; row < harness.categories().rowCount(); ++row) {
        EXPECT_TRUE(role(harness, row, ToolCategoriesViewModel::IsEnabledRole).toBool()) << row;
    }
    EXPECT_EQ(harness.card().enabledToolCount(), 46);
    EXPECT_TRUE(harness.permissions->requested().empty());
}

}  // namespace
}  // namespace lumenary::app::testing
