#include "app/ui/category_permission.hpp"

#include <array>
#include <utility>

namespace lumenary::app::ui {

PermissionCategory categoryPermission(std::string_view displayName) {
    using Kind = PermissionCategory::Kind;
    static constexpr std::array<std::pair<std::string_view, Kind>, 4> stores{{
        {"日历", Kind::calendar},
        {"提醒事项", Kind::reminders},
        {"通讯录", Kind::contacts},
        {"信息", Kind::fullDiskAccess},
    }};
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 3> automated{{
        {"邮件", "Mail"},
        {"备忘录", "Notes"},
        {"音乐", "Music"},
    }};
    for (const auto& [name, kind] : stores) {
        if (displayName == name) {
            return PermissionCategory::of(kind);
        }
    }
    for (const auto& [name, target] : automated) {
        if (displayName == name) {
            return PermissionCategory::automation(std::string(target));
        }
    }
    if (displayName == "macOS Control") {
        return PermissionCategory::of(Kind::accessibility);
    }
    return PermissionCategory::of(Kind::none);
}

}  // namespace lumenary::app::ui
