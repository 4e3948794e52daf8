#include "app/ui/panel_tray.hpp"

#include <QCursor>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/ui/panel_window.hpp"

namespace lumenary::app::ui {

namespace {

// Drawn rather than loaded, so the tray needs no icon theme and no file.
QIcon trayPicture() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x25, 0x63, 0xeb));
        painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.22, size * 0.22);
        painter.setBrush(Qt::white);
        const qreal unit = size / 8.0;
        QPainterPath letter;
        letter.addRect(QRectF(2.5 * unit, 1.8 * unit, 1.1 * unit, 4.4 * unit));
        letter.addRect(QRectF(2.5 * unit, 5.1 * unit, 3.2 * unit, 1.1 * unit));
        painter.drawPath(letter.simplified());
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

PanelTray::PanelTray(PanelWindow& window, std::function<void()> quit) : window_(window), quit_(std::move(quit)) {
    auto* open = menu_.addAction(QStringLiteral("打开面板"));
    connect(open, &QAction::triggered, this, [this] { window_.showPanel(QRect(QCursor::pos(), QSize(1, 1))); });
    auto* leave = menu_.addAction(QStringLiteral("退出"));
    connect(leave, &QAction::triggered, this, [this] { quit_(); });

    icon_.setIcon(trayPicture());
    icon_.setToolTip(QStringLiteral("Lumenary"));
    icon_.setContextMenu(&menu_);
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
            const auto area = icon_.geometry();
            window_.toggle(area.isValid() ? area : QRect(QCursor::pos(), QSize(1, 1)));
        }
    });
    icon_.show();
}

}  // namespace lumenary::app::ui
