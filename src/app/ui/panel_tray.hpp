#pragma once

#include <functional>

#include <QMenu>
#include <QSystemTrayIcon>

namespace lumenary::app::ui {

class PanelWindow;

// The program's tray icon (a StatusNotifierItem on the session bus):
// activating it shows or hides the panel; its menu "打开面板" / "退出"
// serves tray hosts that only show menus. UI thread only.
class PanelTray : public QObject {
    Q_OBJECT
public:
    // `quit` starts the program's orderly stop.
    PanelTray(PanelWindow& window, std::function<void()> quit);

private:
    PanelWindow& window_;
    std::function<void()> quit_;
    QMenu menu_;
    QSystemTrayIcon icon_;
};

}  // namespace lumenary::app::ui
