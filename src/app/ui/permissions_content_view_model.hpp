#pragma once

#include <cstdint>

#include <QObject>
#include <QString>

#include "app/permissions/permission_manager.hpp"

namespace lumenary::app::ui {

class CoreBridge;

// The calendar and reminders rows under the settings page's "权限状态": each
// status as a text, and "请求" to ask for the permission. Statuses are read
// off the UI thread; of overlapping reads only the latest one shows, so a
// slow early answer never overwrites a newer one. One request at a time:
// both buttons stay disabled from a request until the statuses read after
// it have arrived. UI thread only.
class PermissionsContentViewModel : public QObject {
    Q_OBJECT
    // "✅ 已授权 (authorized)", "❌ 已拒绝 (denied)" or "⏳ 未请求 (notDetermined)";
    // empty before the first read.
    Q_PROPERTY(QString calendarStatus READ calendarStatus NOTIFY changed)
    Q_PROPERTY(QString reminderStatus READ reminderStatus NOTIFY changed)
    // A row offers "请求" unless its status says authorized (so also while
    // the status is still unread).
    Q_PROPERTY(bool calendarRequestable READ calendarRequestable NOTIFY changed)
    Q_PROPERTY(bool reminderRequestable READ reminderRequestable NOTIFY changed)
    Q_PROPERTY(bool isRequesting READ isRequesting NOTIFY changed)

public:
    explicit PermissionsContentViewModel(CoreBridge& bridge, QObject* parent = nullptr);

    QString calendarStatus() const { return calendarStatus_; }
    QString reminderStatus() const { return reminderStatus_; }
    bool calendarRequestable() const { return isRequestable(calendarStatus_); }
    bool reminderRequestable() const { return isRequestable(reminderStatus_); }
    bool isRequesting() const noexcept { return isRequesting_; }

    // Reads both statuses again, as each showing of the rows does.
    Q_INVOKABLE void refreshStatuses();
    // The rows' "请求"; ignored while a request runs.
    Q_INVOKABLE void requestCalendarAccess();
    Q_INVOKABLE void requestRemindersAccess();

    static QString statusText(PermissionStatus status);

Q_SIGNALS:
    void changed();

private:
    static bool isRequestable(const QString& status);
    void requestAccess(PermissionCategory::Kind kind);
    void statusArrived(std::uint64_t read, PermissionCategory::Kind kind, PermissionStatus status);

    CoreBridge& bridge_;
    QString calendarStatus_;
    QString reminderStatus_;
    bool isRequesting_ = false;
    // The latest read and how many of its two answers have arrived.
    std::uint64_t latestRead_ = 0;
    int answersOfLatestRead_ = 0;
    // A request has answered; it ends when a read after it is complete.
    bool requestAwaitsRead_ = false;
};

}  // namespace lumenary::app::ui
