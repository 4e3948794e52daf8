#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "app/tools/permission_category.hpp"

namespace lumenary::app {

// The ten switchable categories, in the order the tool service scans them
// when it dispatches a call.
enum class ToolCategoryKind : std::size_t {
    calendar,
    reminders,
    contacts,
    messages,
    notes,
    mail,
    music,
    maps,
    desktopControl,
    vision,
};
inline constexpr std::size_t toolCategoryCount = 10;

struct ToolCategoryRow {
    ToolCategoryKind kind;
    // The defaults key of the category's switch.
    std::string_view switchKey;
    // How the stored switch is read at start: as a stored Boolean (anything
    // else is off) or with the store's own Boolean coercion.
    bool readAsObject;
    // What call records name the category by.
    std::string_view recordCategory;
    // The description of the 403 error for a call while switched off.
    std::string_view refusal;
    // The permission the panel checks before switching the category on, and
    // for automation the program the category drives.
    PermissionCategory::Kind permission;
    std::string_view automationTarget;
};

// Rows in scan order (the order of ToolCategoryKind).
inline constexpr std::array<ToolCategoryRow, toolCategoryCount> toolCategoryTable{{
    {ToolCategoryKind::calendar, "isCalendarEnabled", true, "日历", "Calendar tool is disabled",
     PermissionCategory::Kind::calendar, ""},
    {ToolCategoryKind::reminders, "isRemindersEnabled", true, "提醒事项", "Reminders tool is disabled",
     PermissionCategory::Kind::reminders, ""},
    {ToolCategoryKind::contacts, "isContactsEnabled", true, "通讯录", "Contacts tool is disabled",
     PermissionCategory::Kind::contacts, ""},
    {ToolCategoryKind::messages, "isMessagesEnabled", true, "信息", "Messages tool is disabled",
     PermissionCategory::Kind::fullDiskAccess, ""},
    {ToolCategoryKind::notes, "isNotesEnabled", true, "备忘录", "Notes tool is disabled",
     PermissionCategory::Kind::automation, "Notes"},
    {ToolCategoryKind::mail, "isMailEnabled", true, "邮件", "Mail tool is disabled",
     PermissionCategory::Kind::automation, "Mail"},
    {ToolCategoryKind::music, "isMusicEnabled", false, "音乐", "Music tool is disabled",
     PermissionCategory::Kind::automation, "Music"},
    {ToolCategoryKind::maps, "isMapsEnabled", false, "地图", "Maps tool is disabled",
     PermissionCategory::Kind::none, ""},
    {ToolCategoryKind::desktopControl, "isMacOSEnabled", false, "macOS Control", "macOS Control tool is disabled",
     PermissionCategory::Kind::accessibility, ""},
    {ToolCategoryKind::vision, "isVisionEnabled", false, "视觉识别", "Vision tool is disabled",
     PermissionCategory::Kind::none, ""},
}};

// The catalogue lists mail before notes; dispatch scans notes first.
inline constexpr std::array<ToolCategoryKind, toolCategoryCount> toolCategoryListOrder{
    ToolCategoryKind::calendar, ToolCategoryKind::reminders, ToolCategoryKind::contacts,
    ToolCategoryKind::messages, ToolCategoryKind::mail,      ToolCategoryKind::notes,
    ToolCategoryKind::music,    ToolCategoryKind::maps,      ToolCategoryKind::desktopControl,
    ToolCategoryKind::vision,
};

constexpr const ToolCategoryRow& toolCategoryRow(ToolCategoryKind kind) {
    return toolCategoryTable[static_cast<std::size_t>(kind)];
}

// The permission that guards the category.
inline PermissionCategory toolCategoryPermission(ToolCategoryKind kind) {
    const auto& row = toolCategoryRow(kind);
    return {row.permission, std::string(row.automationTarget)};
}

}  // namespace lumenary::app
