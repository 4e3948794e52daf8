#include "app/ui/panel_placement.hpp"

#include <algorithm>

namespace lumenary::app::ui {

namespace {

enum class TraySide { top, bottom, left, right };

// Bars lie outside the usable area, so an icon outside it tells its side at
// once; an icon inside (a bar that hides, or only the pointer known) is
// taken to belong to the nearest edge.
TraySide traySide(QRect icon, QRect available) {
    const int iconTop = icon.y();
    const int iconBottom = icon.y() + icon.height();
    const int iconLeft = icon.x();
    const int iconRight = icon.x() + icon.width();
    const int top = available.y();
    const int bottom = available.y() + available.height();
    const int left = available.x();
    const int right = available.x() + available.width();
    if (iconBottom <= top) {
        return TraySide::top;
    }
    if (iconTop >= bottom) {
        return TraySide::bottom;
    }
    if (iconRight <= left) {
        return TraySide::left;
    }
    if (iconLeft >= right) {
        return TraySide::right;
    }
    const QPoint centre = icon.center();
    const int toTop = centre.y() - top;
    const int toBottom = bottom - centre.y();
    const int toLeft = centre.x() - left;
    const int toRight = right - centre.x();
    const int nearest = std::min({toTop, toBottom, toLeft, toRight});
    if (nearest == toTop) {
        return TraySide::top;
    }
    if (nearest == toBottom) {
        return TraySide::bottom;
    }
    return nearest == toLeft ? TraySide::left : TraySide::right;
}

// `start` moved as little as needed to fit `length` inside [low, high).
int clampedStart(int start, int length, int low, int high) {
    return std::clamp(start, low, std::max(low, high - length));
}

}  // namespace

int panelHeightLimit(QRect available) {
    return std::max(1, available.height() - 2 * panelScreenMargin);
}

QRect trayPanelGeometry(QRect icon, QRect available, QSize panel) {
    const int width = panel.width();
    const int height = std::min(panel.height(), panelHeightLimit(available));
    const QPoint centre = icon.center();
    int x = centre.x() - width / 2;
    int y = centre.y() - height / 2;
    switch (traySide(icon, available)) {
    case TraySide::top:
        y = std::max(icon.y() + icon.height(), available.y()) + panelScreenMargin;
        break;
    case TraySide::bottom:
        y = std::min(icon.y(), available.y() + available.height()) - panelScreenMargin - height;
        break;
    case TraySide::left:
        x = std::max(icon.x() + icon.width(), available.x()) + panelScreenMargin;
        break;
    case TraySide::right:
        x = std::min(icon.x(), available.x() + available.width()) - panelScreenMargin - width;
        break;
    }
    x = clampedStart(x, width, available.x() + panelScreenMargin,
                     available.x() + available.width() - panelScreenMargin);
    y = clampedStart(y, height, available.y() + panelScreenMargin,
                     available.y() + available.height() - panelScreenMargin);
    return {x, y, width, height};
}

}  // namespace lumenary::app::ui
