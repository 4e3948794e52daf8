#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace lumenary::app::ui::testing {

// Collects every warning Qt reports (QML binding and type errors, failed
// icon reads, console.warn) while it lives, and passes them on to the
// previous handler. One at a time; the panel's tests fail on any entry.
class QmlWarningLog {
public:
    QmlWarningLog();
    ~QmlWarningLog();
    QmlWarningLog(const QmlWarningLog&) = delete;
    QmlWarningLog& operator=(const QmlWarningLog&) = delete;

    QStringList warnings() const;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message);

    QtMessageHandler previous_ = nullptr;
};

}  // namespace lumenary::app::ui::testing
