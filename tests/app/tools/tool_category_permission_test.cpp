#include "app/tools/tool_category_table.hpp"

#include <gtest/gtest.h>

namespace lumenary::app {
namespace {

using PermissionKind = PermissionCategory::Kind;

struct CategoryPermissionCase {
    ToolCategoryKind category;
    PermissionKind kind;
    const char* target;
};

class ToolCategoryPermissionTest : public ::testing::TestWithParam<CategoryPermissionCase> {};

TEST_P(ToolCategoryPermissionTest, EachCategoryIsGuardedByItsOwnPermission) {
    const auto& given = GetParam();
    const auto permission = toolCategoryPermission(given.category);
    EXPECT_EQ(permission.kind, given.kind);
    EXPECT_EQ(permission.targetApp, given.target);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCategory, ToolCategoryPermissionTest,
    ::testing::Values(CategoryPermissionCase{ToolCategoryKind::calendar, PermissionKind::calendar, ""},
                      CategoryPermissionCase{ToolCategoryKind::reminders, PermissionKind::reminders, ""},
                      CategoryPermissionCase{ToolCategoryKind::contacts, PermissionKind::contacts, ""},
                      CategoryPermissionCase{ToolCategoryKind::messages, PermissionKind::fullDiskAccess, ""},
                      CategoryPermissionCase{ToolCategoryKind::mail, PermissionKind::automation, "Mail"},
                      CategoryPermissionCase{ToolCategoryKind::notes, PermissionKind::automation, "Notes"},
                      CategoryPermissionCase{ToolCategoryKind::music, PermissionKind::automation, "Music"},
                      CategoryPermissionCase{ToolCategoryKind::maps, PermissionKind::none, ""},
                      CategoryPermissionCase{ToolCategoryKind::desktopControl, PermissionKind::accessibility, ""},
                      CategoryPermissionCase{ToolCategoryKind::vision, PermissionKind::none, ""}));

}  // namespace
}  // namespace lumenary::app
