// The panel's own state: page precedence, going back, the shared unfolded
// categories and the permission alert.
#include <gtest/gtest.h>

#include "app/ui/panel_harness.hpp"

namespace lumenary::app::testing {
namespace {

using Kind = PermissionCategory::Kind;

struct PageCase {
    bool tools;
    bool settings;
    bool records;
    const char* page;
    const char* title;
    // What shows after the back button.
    const char* pageAfterBack;
};

class PanelPageTest : public ::testing::TestWithParam<PageCase> {};

TEST_P(PanelPageTest, ToolsWinOverSettingsAndSettingsOverRecords) {
    const auto& given = GetParam();
    PanelHarness harness;
    auto& panel = harness.panel();
    if (given.records) panel.openCallRecords();
    if (given.settings) panel.openSettingsPage();
    if (given.tools) panel.openToolsPage();

    EXPECT_EQ(panel.page(), QString::fromUtf8(given.page));
    EXPECT_EQ(panel.headerTitle(), QString::fromUtf8(given.title));

    panel.goBack();
    EXPECT_EQ(panel.page(), QString::fromUtf8(given.pageAfterBack));
}

INSTANTIATE_TEST_SUITE_P(
    EveryFlagCombination, PanelPageTest,
    ::testing::Values(PageCase{false, false, false, "main", "", "main"},
                      PageCase{true, false, false, "tools", "工具列表", "main"},
                      PageCase{false, true, false, "settings", "设置", "main"},
                      PageCase{false, false, true, "records", "调用记录", "main"},
                      PageCase{true, true, false, "tools", "工具列表", "settings"},
                      PageCase{true, false, true, "tools", "工具列表", "records"},
                      PageCase{false, true, true, "settings", "设置", "records"},
                      PageCase{true, true, true, "tools", "工具列表", "settings"}));

TEST(PanelViewModel, GoingBackLeavesTheUnfoldedStateAlone) {
    PanelHarness harness;
    auto& panel = harness.panel();
    panel.togglePermissionsExpanded();
    panel.toggleCategory(QStringLiteral("日历"));
    panel.openToolsPage();

    panel.goBack();

    EXPECT_EQ(panel.page(), QStringLiteral("main"));
    EXPECT_TRUE(panel.isPermissionsExpanded());
    EXPECT_EQ(panel.expandedCategories(), QStringList{QStringLiteral("日历")});
}

TEST(PanelViewModel, TheToolsPageAndTheRecordsPageShareTheUnfoldedCategories) {
    PanelHarness harness;
    harness.onCore([&harness] { harness.tools->recordCall("tool_0_0", "日历"); });
    harness.settleCore();
    ASSERT_EQ(harness.records().rowCount(), 1);
    const auto recordsSection = harness.records().index(0);

    harness.categories().toggleExpanded(0);
    EXPECT_TRUE(harness.records().data(recordsSection, ui::CallRecordsViewModel::IsExpandedRole).toBool());
    EXPECT_TRUE(harness.panel().isCategoryExpanded(QStringLiteral("日历")));

    harness.records().toggleExpanded(0);
    EXPECT_FALSE(harness.categories()
                     .data(harness.categories().index(0), ui::ToolCategoriesViewModel::IsExpandedRole)
                     .toBool());
    EXPECT_TRUE(harness.panel().expandedCategories().isEmpty());
}

TEST(PanelViewModel, TheAlertEndsWithTheHintAndOffersSettingsOnlyWhenTheProbeNamesSome) {
    struct Case {
        PermissionGuidance guidance;
        bool canOpen;
    };
    const std::array<Case, 3> cases{{
        {guidanceOf("请打开文件夹。", "/home/someone/.local/share/contacts"), true},
        {guidanceOf("请在设置中打开辅助功能。", std::nullopt, std::vector<std::string>{"gnome-control-center"}), true},
        {guidanceOf("无法在此授权。"), false},
    }};
    for (const auto& given : cases) {
        PanelHarness harness;
        harness.panel().showPermissionAlert(ToolCategoryKind::mail, given.guidance);

        EXPECT_TRUE(harness.panel().showingPermissionAlert());
        EXPECT_EQ(harness.panel().alertTitle(), QStringLiteral("权限被拒绝"));
        EXPECT_EQ(harness.panel().alertMessage(), QStringLiteral("无法开启邮件工具，因为缺少必要的系统权限。") +
                                                      QString::fromStdString(given.guidance.hint));
        EXPECT_EQ(harness.panel().alertCanOpenSettings(), given.canOpen);
        EXPECT_EQ(harness.panel().alertCategory().kind, Kind::automation);
        EXPECT_EQ(harness.panel().alertCategory().targetApp, "Mail");
    }
}

TEST(PanelViewModel, GoToSettingsClosesTheAlertAndOpensWhatTheCategoryNames) {
    PanelHarness harness;
    harness.panel().showPermissionAlert(ToolCategoryKind::desktopControl, guidanceOf("h", "/x"));

    harness.panel().openAlertSettings();
    harness.settleProbes();

    EXPECT_FALSE(harness.panel().showingPermissionAlert());
    const auto opened = harness.permissions->opened();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.front().kind, Kind::accessibility);
}

TEST(PanelViewModel, DismissingTheAlertKeepsItsTextsAndOpensNothing) {
    PanelHarness harness;
    harness.panel().showPermissionAlert(ToolCategoryKind::maps, guidanceOf("提示"));
    EXPECT_EQ(harness.panel().alertCategory().kind, Kind::none);

    harness.panel().dismissAlert();
    harness.settleProbes();

    EXPECT_FALSE(harness.panel().showingPermissionAlert());
    EXPECT_EQ(harness.panel().alertTitle(), QStringLiteral("权限被拒绝"));
    EXPECT_TRUE(harness.panel().alertMessage().startsWith(QStringLiteral("无法开启地图工具")));
    EXPECT_TRUE(harness.permissions->opened().empty());
}

}  // namespace
}  // namespace lumenary::app::testing
