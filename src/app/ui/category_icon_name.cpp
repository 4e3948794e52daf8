#include "app/ui/category_icon_name.hpp"

namespace lumenary::app::ui {

QString categoryIconName(ToolCategoryKind kind) {
    switch (kind) {
        case ToolCategoryKind::calendar: return QStringLiteral("calendar");
        case ToolCategoryKind::reminders: return QStringLiteral("reminders");
        case ToolCategoryKind::contacts: return QStringLiteral("contacts");
        case ToolCategoryKind::messages: return QStringLiteral("messages");
        case ToolCategoryKind::notes: return QStringLiteral("notes");
        case ToolCategoryKind::mail: return QStringLiteral("mail");
        case ToolCategoryKind::music: return QStringLiteral("music");
        case ToolCategoryKind::maps: return QStringLiteral("maps");
        case ToolCategoryKind::desktopControl: return QStringLiteral("desktop");
        case ToolCategoryKind::vision: return QStringLiteral("vision");
    }
    return {};
}

}  // namespace lumenary::app::ui
