#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

namespace lumenary::app::testing {

// The tray host's side of the StatusNotifierItem protocol, as small as a
// program needs to find a tray: it says a host is registered and records
// the items that register.
class StandInStatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isStatusNotifierHostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    // Serves on `connection` under the watcher's well-known name; false when
    // the name or the object could not be taken.
    bool serve(QDBusConnection connection) {
        connection_ = connection;
        return connection.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                                         QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                             QDBusConnection::ExportAllProperties) &&
               connection.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    }

    bool isStatusNotifierHostRegistered() const { return true; }
    QStringList registeredItems() const { return items_; }
    int protocolVersion() const { return 0; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) {
        items_.append(service);
        Q_EMIT StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QDBusConnection connection_{QString()};
    QStringList items_;
};

}  // namespace lumenary::app::testing
