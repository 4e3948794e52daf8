#include "app/ui/panel_application.hpp"

#include <memory>
#include <optional>
#include <thread>

#include <QApplication>
#include <QCursor>
#include <QFont>
#include <QQuickWindow>
#include <QThreadPool>
#include <QSystemTrayIcon>

#include "app/ui/app_delegate.hpp"
#include "app/ui/panel_models.hpp"
#include "app/ui/panel_tray.hpp"
#include "app/ui/panel_window.hpp"
#include "logging/console.hpp"

namespace lumenary::app::ui {

int runPanelApplication(int& argc, char** argv, asio::io_context& context, CoreBridge::Services services,
                        std::function<void()> requestStop) {
    // The panel is plain shapes and text; the software renderer draws it
    // anywhere, with or without a GPU.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QApplication application(argc, argv);
    // Hiding or closing the panel never ends the program; only "退出" or a
    // signal does.
    QApplication::setQuitOnLastWindowClosed(false);
    // Rendering must not depend on the desktop's font settings.
    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK SC")));
    // Qt's pooled threads end 30 s after their last task, each a wake-up of
    // an otherwise idle program; the few the panel uses wait instead.
    QThreadPool::globalInstance()->setExpiryTimeout(-1);

    std::thread core([&context] {
        context.run();
        // The core has stopped: the UI follows.
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });

    int status = 0;
    {
        PanelModels models(std::move(services));
        models.settings()->setQuitAction(requestStop);
        const bool hasTray = QSystemTrayIcon::isSystemTrayAvailable();
        PanelWindow window(models, hasTray ? PanelWindow::Mode::trayPanel : PanelWindow::Mode::window);
        std::optional<PanelTray> tray;
        if (hasTray) {
            tray.emplace(window, requestStop);
        } else {
            window.showPanel(QRect(QCursor::pos(), QSize(1, 1)));
        }
        std::optional<AppDelegate> delegate;
        if (auto* defaults = models.bridge().defaults()) {
            delegate.emplace(models.bridge(), *defaults);
            delegate->applicationDidFinishLaunching();
        } else {
            logging::Console::standardError("[Panel] ").print(
                "No first-run window: the program handed the panel no defaults store");
        }

        status = QApplication::exec();
        if (!context.stopped()) {
            requestStop();
        }
        core.join();
        delegate.reset();
        // The core has ended, so nothing runs on the main executor any more:
        // the subscriptions go here, before the view-models do.
        models.bridge().detachOnMainExecutor();
    }
    // The pooled threads no longer end on their own: they end here, while
    // the application still exists, not among the exit's static destructors.
    QThreadPool::globalInstance()->waitForDone();
    return status;
}

}  // namespace lumenary::app::ui
