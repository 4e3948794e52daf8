#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <QImage>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

namespace lumenary::app::ui {
class PanelModels;
}

namespace lumenary::app::ui::testing {

// The panel's QML over a set of view-models in a window of the offscreen
// platform, drawn by the software scene graph, with every animation off so
// that each state lands at once. The window follows the panel's height.
class PanelScene {
public:
    enum class Appearance { light, dark };

    explicit PanelScene(PanelModels& models, Appearance appearance = Appearance::light);
    ~PanelScene();
    PanelScene(const PanelScene&) = delete;
    PanelScene& operator=(const PanelScene&) = delete;

    QQuickItem* root() const { return root_; }
    QQuickWindow& window() { return *window_; }

    // A left click in the middle of `item`, and the pointer moved there.
    void click(QQuickItem* item);
    // A left click at a point of the window.
    void clickAt(QPoint point);
    void hover(QQuickItem* item);
    // Bounds the panel's height as the program's window does on a screen
    // whose usable area is `usable`.
    void boundByScreen(QRect usable);
    // The window as drawn now, after pending events (a queued snapshot) ran.
    QImage grab();

private:
    void settle();
    void runTokenScript(const QString& statements);

    std::unique_ptr<QQmlEngine> engine_;
    std::unique_ptr<QQuickWindow> window_;
    QQuickItem* root_ = nullptr;
};

}  // namespace lumenary::app::ui::testing
