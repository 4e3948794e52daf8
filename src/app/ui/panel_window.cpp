#include "app/ui/panel_window.hpp"

#include <algorithm>
#include <chrono>

#include <QGuiApplication>
#include <QQmlEngine>
#include <QScreen>

#include "app/ui/panel_models.hpp"
#include "app/ui/panel_qml_engine.hpp"
#include "logging/console.hpp"

namespace lumenary::app::ui {

namespace {

constexpr int panelWidth = 400;
// Room between the panel and the screen's edge or the tray.
constexpr int screenMargin = 8;
// How long after a focus-loss hide a toggle counts as the same click.
constexpr std::chrono::milliseconds focusLossGrace{300};

}  // namespace

PanelWindow::PanelWindow(PanelModels& models, Mode mode) : mode_(mode) {
    setTitle(QStringLiteral("Lumenary"));
    setResizeMode(QQuickView::SizeViewToRootObject);
    setColor(Qt::transparent);
    if (mode_ == Mode::trayPanel) {
        setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        connect(this, &QWindow::activeChanged, this, [this] {
            if (!isActive() && isVisible()) {
                hide();
                sinceFocusLossHide_.start();
            }
        });
    }
    connect(this, &QQuickView::statusChanged, this, [this](QQuickView::Status status) {
        if (status == QQuickView::Error) {
            for (const auto& error : errors()) {
                logging::Console::standardError("[Panel] ").print("The panel could not load: ",
                                                                  error.toString().toStdString());
            }
        }
    });
    preparePanelEngine(*engine());
    setInitialProperties({{QStringLiteral("panel"), QVariant::fromValue<QObject*>(models.panel())},
                          {QStringLiteral("serviceCard"), QVariant::fromValue<QObject*>(models.serviceCard())},
                          {QStringLiteral("toolCategories"), QVariant::fromValue<QObject*>(models.toolCategories())},
                          {QStringLiteral("callRecords"), QVariant::fromValue<QObject*>(models.callRecords())},
                          {QStringLiteral("settings"), QVariant::fromValue<QObject*>(models.settings())}});
    setSource(QUrl(QStringLiteral("qrc:/qt/qml/Lumenary/Ui/Panel.qml")));
    if (width() <= 0) {
        resize(panelWidth, height());
    }
}

void PanelWindow::toggle(QPoint anchor) {
    if (isVisible() && windowState() != Qt::WindowMinimized) {
        hide();
        return;
    }
    if (sinceFocusLossHide_.isValid() && sinceFocusLossHide_.elapsed() < focusLossGrace.count()) {
        sinceFocusLossHide_.invalidate();
        return;
    }
    showPanel(anchor);
}

void PanelWindow::showPanel(QPoint anchor) {
    if (mode_ == Mode::trayPanel) {
        placeBeside(anchor);
    }
    showNormal();
    raise();
    requestActivate();
}

void PanelWindow::placeBeside(QPoint anchor) {
    auto* screen = QGuiApplication::screenAt(anchor);
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return;
    }
    const auto area = screen->availableGeometry();
    // Centred under the anchor, then pushed inside the screen.
    int x = anchor.x() - width() / 2;
    int y = anchor.y() + screenMargin;
    if (y + height() > area.bottom() - screenMargin) {
        y = anchor.y() - height() - screenMargin;
    }
    x = std::clamp(x, area.left() + screenMargin, std::max(area.left() + screenMargin, area.right() - width() - screenMargin));
    y = std::clamp(y, area.top() + screenMargin, std::max(area.top() + screenMargin, area.bottom() - height() - screenMargin));
    setPosition(x, y);
}

bool PanelWindow::event(QEvent* event) {
    if (event->type() == QEvent::Close && mode_ == Mode::window) {
        event->ignore();
        showMinimized();
        return true;
    }
    if (event->type() == QEvent::Close && mode_ == Mode::trayPanel) {
        event->ignore();
        hide();
        return true;
    }
    return QQuickView::event(event);
}

}  // namespace lumenary::app::ui
