#include "app/ui/category_permission.hpp"

#include <gtest/gtest.h>

namespace lumenary::app::ui {
namespace {

using Kind = PermissionCategory::Kind;

struct PermissionCase {
    const char* displayName;
    Kind kind;
    const char* target;
};

class CategoryPermissionTest : public ::testing::TestWithParam<PermissionCase> {};

TEST_P(CategoryPermissionTest, MapsTheDisplayNameToItsPermission) {
    const auto& given = GetParam();
    const auto category = categoryPermission(given.displayName);
    EXPECT_EQ(category.kind, given.kind);
    EXPECT_EQ(category.targetApp, given.target);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCategoryAndStrangers, CategoryPermissionTest,
    ::testing::Values(PermissionCase{"日历", Kind::calendar, ""}, PermissionCase{"提醒事项", Kind::reminders, ""},
                      PermissionCase{"通讯录", Kind::contacts, ""}, PermissionCase{"信息", Kind::fullDiskAccess, ""},
                      PermissionCase{"邮件", Kind::automation, "Mail"},
                      PermissionCase{"备忘录", Kind::automation, "Notes"},
                      PermissionCase{"音乐", Kind::automation, "Music"}, PermissionCase{"地图", Kind::none, ""},
                      PermissionCase{"macOS Control", Kind::accessibility, ""},
                      PermissionCase{"视觉识别", Kind::none, ""},
                      // Whole, case-sensitive names only.
                      PermissionCase{"macos control", Kind::none, ""}, PermissionCase{"日历 ", Kind::none, ""},
                      PermissionCase{"", Kind::none, ""}));

}  // namespace
}  // namespace lumenary::app::ui
