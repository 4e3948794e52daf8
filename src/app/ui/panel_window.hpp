#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QQuickView>
#include <QRect>
#include <QScreen>

namespace lumenary::app::ui {

class PanelModels;

// The window that holds the panel (Panel.qml): 400 wide, as tall as its
// content up to its screen's usable height. As the tray's panel it is
// frameless, opens beside the tray icon on the icon's screen, placed again
// whenever its height changes, and hides when it loses focus. Without a tray host it is
// an ordinary window titled "Lumenary" whose close button minimises it, so
// the program never ends by a window closing. UI thread only.
class PanelWindow : public QQuickView {
    Q_OBJECT
public:
    enum class Mode { trayPanel, window };

    PanelWindow(PanelModels& models, Mode mode);
    // The window base hides the window as it goes, after this class is gone.
    ~PanelWindow() override;

    Mode mode() const noexcept { return mode_; }
    // Shows a hidden panel beside `trayIcon` (the icon's area on screen, or
    // the pointer's point when the tray does not tell it), hides a shown one.
    void toggle(QRect trayIcon);
    void showPanel(QRect trayIcon);

protected:
    bool event(QEvent* event) override;

private:
    // Bounds the panel's height by `target`'s usable area, and keeps doing
    // so when that area changes.
    void limitHeightTo(QScreen* target);
    void keepOnScreen();

    Mode mode_;
    QRect trayIcon_;
    QPointer<QScreen> watchedScreen_;
    // Clicking the tray icon while the panel shows takes the focus away
    // first: a toggle right after that hide must not show it again.
    QElapsedTimer sinceFocusLossHide_;
};

}  // namespace lumenary::app::ui
