#include "app/ui/qml_warning_log.hpp"

#include <mutex>

namespace lumenary::app::ui::testing {
namespace {

std::mutex logMutex;
QStringList collected;
QtMessageHandler passOn = nullptr;

// Lines of the test machine, not of the panel.
bool isEnvironmentNoise(const QString& message) {
    return message.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR"));
}

}  // namespace

QmlWarningLog::QmlWarningLog() {
    const std::lock_guard lock(logMutex);
    collected.clear();
    previous_ = qInstallMessageHandler(&QmlWarningLog::handle);
    passOn = previous_;
}

QmlWarningLog::~QmlWarningLog() {
    qInstallMessageHandler(previous_);
    const std::lock_guard lock(logMutex);
    passOn = nullptr;
}

QStringList QmlWarningLog::warnings() const {
    const std::lock_guard lock(logMutex);
    return collected;
}

void QmlWarningLog::handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    QtMessageHandler next = nullptr;
    {
        const std::lock_guard lock(logMutex);
        if (type != QtDebugMsg && type != QtInfoMsg && !isEnvironmentNoise(message)) {
            collected << message;
        }
        next = passOn;
    }
    if (next != nullptr) {
        next(type, context, message);
    }
}

}  // namespace lumenary::app::ui::testing
