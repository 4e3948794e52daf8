#include "app/permissions/permission_guidance_texts.hpp"

#include <system_error>

#include "system/utf8.hpp"

namespace lumenary::app {

namespace {

std::filesystem::path absoluteLocation(const std::filesystem::path& location) {
    std::error_code ignored;
    auto absolute = std::filesystem::absolute(location, ignored);
    return (absolute.empty() ? location : absolute).lexically_normal();
}

std::string shown(const std::filesystem::path& location) {
    return system::repairUTF8(absoluteLocation(location).string());
}

bool isFolder(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::is_directory(path, ignored);
}

}  // namespace

std::optional<std::string> folderShowing(const std::filesystem::path& location) {
    auto absolute = absoluteLocation(location);
    // "folder/" normalises to a trailing empty name; its parent is the folder itself.
    if (!absolute.has_filename()) {
        absolute = absolute.parent_path();
    }
    if (isFolder(absolute)) {
        return absolute.string();
    }
    if (auto parent = absolute.parent_path(); !parent.empty() && isFolder(parent)) {
        return parent.string();
    }
    return std::nullopt;
}

PermissionGuidance eventStoreGuidance(platform::EventStoreEntity entity, const std::filesystem::path& folder) {
    const bool events = entity == platform::EventStoreEntity::events;
    const std::string role = events ? "日历文件夹" : "提醒事项文件夹";
    const std::string variable = events ? "LUMENARY_CALENDAR_DIR" : "LUMENARY_REMINDERS_DIR";
    const std::string key = events ? "calendarDirectory" : "remindersDirectory";
    return {.hint = "Lumenary 需要读写" + role + "“" + shown(folder) + "”。请把它设为当前用户可读写的文件夹" +
                    "（不存在时开启即会创建），或用环境变量 " + variable + " 或设置项 " + key + " 指向另一个文件夹。",
            .settingsLocation = folderShowing(folder),
            .settingsProgram = std::nullopt};
}

PermissionGuidance contactsGuidance(const std::filesystem::path& folder) {
    return {.hint = "Lumenary 需要读取通讯录文件夹“" + shown(folder) +
                    "”。请把它设为当前用户可读取的文件夹（不存在时视为空通讯录），或用环境变量 "
                    "LUMENARY_CONTACTS_DIR 或设置项 contactsDirectory 指向另一个文件夹。",
            .settingsLocation = folderShowing(folder),
            .settingsProgram = std::nullopt};
}

PermissionGuidance messagesGuidance(const std::filesystem::path& database) {
    return {.hint = "Lumenary 需要以只读方式打开信息数据库“" + shown(database) +
                    "”。请把数据库放在这里并让当前用户可读取，或用环境变量 LUMENARY_MESSAGES_DB 或设置项 "
                    "messagesDatabasePath 指向它。",
            .settingsLocation = folderShowing(database),
            .settingsProgram = std::nullopt};
}

PermissionGuidance desktopControlGuidance(std::optional<bool> accessibilityEnabled,
                                          std::optional<std::vector<std::string>> settingsProgram) {
    std::string hint =
        "桌面控制需要带 XTest 扩展的 X11 或 XWayland 显示，以及可应答的辅助功能总线（at-spi2-core）：请在这样的"
        "桌面会话中运行 Lumenary。";
    const bool settingOff = accessibilityEnabled == false;
    if (settingOff) {
        hint += "桌面的辅助功能设置现在是关闭的：Qt 程序只在它打开时才公开界面元素树（GTK 程序始终公开），"
                "请在系统设置的辅助功能中打开它。";
    }
    return {.hint = std::move(hint),
            .settingsLocation = std::nullopt,
            .settingsProgram = settingOff ? std::move(settingsProgram) : std::nullopt};
}

PermissionGuidance nothingToGrantGuidance() {
    return {.hint = "这一类工具无需另行授权，开启即可使用。", .settingsLocation = std::nullopt, .settingsProgram = std::nullopt};
}

PermissionGuidance unansweredGuidance(const std::filesystem::path& location, std::chrono::milliseconds bound) {
    return {.hint = "检查“" + shown(location) + "”时 " + std::to_string(bound.count()) +
                    " 毫秒内没有应答：请确认它所在的磁盘或网络位置可用，然后再试。",
            .settingsLocation = std::nullopt,
            .settingsProgram = std::nullopt};
}

}  // namespace lumenary::app
