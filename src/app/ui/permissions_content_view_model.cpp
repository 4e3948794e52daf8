#include "app/ui/permissions_content_view_model.hpp"

#include <QPointer>

#include "app/ui/core_bridge.hpp"

namespace lumenary::app::ui {

PermissionsContentViewModel::PermissionsContentViewModel(CoreBridge& bridge, QObject* parent)
    : QObject(parent), bridge_(bridge) {}

QString PermissionsContentViewModel::statusText(PermissionStatus status) {
    switch (status) {
        case PermissionStatus::granted:
            return QStringLiteral("✅ 已授权 (authorized)");
        case PermissionStatus::denied:
            return QStringLiteral("❌ 已拒绝 (denied)");
        case PermissionStatus::notDetermined:
            return QStringLiteral("⏳ 未请求 (notDetermined)");
    }
    return QStringLiteral("⏳ 未请求 (notDetermined)");
}

bool PermissionsContentViewModel::isRequestable(const QString& status) {
    return !status.contains(QStringLiteral("authorized"));
}

void PermissionsContentViewModel::refreshStatuses() {
    const std::uint64_t read = ++latestRead_;
    answersOfLatestRead_ = 0;
    QPointer<PermissionsContentViewModel> self(this);
    for (const auto kind : {PermissionCategory::Kind::calendar, PermissionCategory::Kind::reminders}) {
        bridge_.permissionStatus(PermissionCategory::of(kind), [self, read, kind](PermissionStatus status,
                                                                                  const PermissionGuidance&) {
            if (self) {
                self->statusArrived(read, kind, status);
            }
        });
    }
}

void PermissionsContentViewModel::statusArrived(std::uint64_t read, PermissionCategory::Kind kind,
                                                PermissionStatus status) {
    if (read != latestRead_) {
        return;
    }
    (kind == PermissionCategory::Kind::calendar ? calendarStatus_ : reminderStatus_) = statusText(status);
    if (++answersOfLatestRead_ == 2 && requestAwaitsRead_) {
        requestAwaitsRead_ = false;
        isRequesting_ = false;
    }
    Q_EMIT changed();
}

void PermissionsContentViewModel::requestCalendarAccess() {
    requestAccess(PermissionCategory::Kind::calendar);
}

void PermissionsContentViewModel::requestRemindersAccess() {
    requestAccess(PermissionCategory::Kind::reminders);
}

void PermissionsContentViewModel::requestAccess(PermissionCategory::Kind kind) {
    if (isRequesting_) {
        return;
    }
    isRequesting_ = true;
    Q_EMIT changed();
    QPointer<PermissionsContentViewModel> self(this);
    // What the request answers does not matter: the statuses read after it
    // show the outcome, a refusal included.
    bridge_.requestPermission(PermissionCategory::of(kind), [self](bool, const PermissionGuidance&) {
        if (self) {
            self->requestAwaitsRead_ = true;
            self->refreshStatuses();
        }
    });
}

}  // namespace lumenary::app::ui
