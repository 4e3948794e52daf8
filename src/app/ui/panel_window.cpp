#include "app/ui/panel_window.hpp"

#include <algorithm>
#include <chrono>

#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QScreen>

#include "app/ui/panel_models.hpp"
#include "app/ui/panel_placement.hpp"
#include "app/ui/panel_qml_engine.hpp"
#include "logging/console.hpp"

namespace lumenary::app::ui {

namespace {

constexpr int panelWidth = 400;
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
    // The content's height is known only once the window has drawn it, and
    // it changes with every page: each change places the panel again.
    connect(this, &QWindow::heightChanged, this, [this] {
        if (isVisible()) {
            keepOnScreen();
        }
    });
    connect(this, &QWindow::screenChanged, this, [this] { limitHeightTo(screen()); });
    // A window's frame is known once it is mapped.
    connect(this, &QWindow::visibleChanged, this, [this] { limitHeightTo(screen()); });
    limitHeightTo(screen());
}

PanelWindow::~PanelWindow() {
    disconnect(this, nullptr, this, nullptr);
    if (watchedScreen_) {
        disconnect(watchedScreen_, nullptr, this, nullptr);
    }
}

void PanelWindow::toggle(QRect trayIcon) {
    if (isVisible() && windowState() != Qt::WindowMinimized) {
        hide();
        return;
    }
    if (sinceFocusLossHide_.isValid() && sinceFocusLossHide_.elapsed() < focusLossGrace.count()) {
        sinceFocusLossHide_.invalidate();
        return;
    }
    showPanel(trayIcon);
}

void PanelWindow::showPanel(QRect trayIcon) {
    trayIcon_ = trayIcon;
    if (mode_ == Mode::trayPanel) {
        auto* iconScreen = QGuiApplication::screenAt(trayIcon.center());
        if (iconScreen && iconScreen != screen()) {
            setScreen(iconScreen);
        }
        limitHeightTo(screen());
        keepOnScreen();
    }
    showNormal();
    raise();
    requestActivate();
}

void PanelWindow::limitHeightTo(QScreen* target) {
    if (!target) {
        return;
    }
    if (watchedScreen_ != target) {
        if (watchedScreen_) {
            disconnect(watchedScreen_, nullptr, this, nullptr);
        }
        watchedScreen_ = target;
        connect(target, &QScreen::availableGeometryChanged, this, [this, target] { limitHeightTo(target); });
    }
    // An ordinary window's title bar and borders take their share too.
    const auto frame = mode_ == Mode::window ? frameMargins() : QMargins();
    const int limit = panelHeightLimit(target->availableGeometry()) - frame.top() - frame.bottom();
    if (auto* root = rootObject()) {
        root->setProperty("maximumHeight", std::max(1, limit));
    }
}

void PanelWindow::keepOnScreen() {
    auto* current = screen();
    if (!current) {
        return;
    }
    const auto area = current->availableGeometry();
    if (mode_ == Mode::trayPanel) {
        const auto placed = trayPanelGeometry(trayIcon_, area, size());
        setPosition(placed.topLeft());
        return;
    }
    // An ordinary window stays where it was put until it would leave the
    // screen at the bottom.
    const auto outer = frameGeometry();
    const int overhang = outer.y() + outer.height() - (area.y() + area.height());
    if (overhang > 0) {
        setY(std::max(area.y() + frameMargins().top(), y() - overhang));
    }
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
