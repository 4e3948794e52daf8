#pragma once

#include <QElapsedTimer>
#include <QPoint>
#include <QQuickView>

namespace lumenary::app::ui {

class PanelModels;

// The window that holds the panel (Panel.qml): 400 wide, as tall as its
// content. As the tray's panel it is frameless, opens beside the pointer
// kept on screen, and hides when it loses focus. Without a tray host it is
// an ordinary window titled "Lumenary" whose close button minimises it, so
// the program never ends by a window closing. UI thread only.
class PanelWindow : public QQuickView {
    Q_OBJECT
public:
    enum class Mode { trayPanel, window };

    PanelWindow(PanelModels& models, Mode mode);

    Mode mode() const noexcept { return mode_; }
    // Shows a hidden panel beside `anchor` (a point on screen), hides a shown one.
    void toggle(QPoint anchor);
    void showPanel(QPoint anchor);

protected:
    bool event(QEvent* event) override;

private:
    void placeBeside(QPoint anchor);

    Mode mode_;
    // Clicking the tray icon while the panel shows takes the focus away
    // first: a toggle right after that hide must not show it again.
    QElapsedTimer sinceFocusLossHide_;
};

}  // namespace lumenary::app::ui
