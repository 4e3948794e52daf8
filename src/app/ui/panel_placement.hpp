#pragma once

#include <QRect>
#include <QSize>

namespace lumenary::app::ui {

// Room kept between the panel and the screen's edges or the tray icon.
inline constexpr int panelScreenMargin = 8;

// The tallest the panel may be on a screen whose usable area (the screen
// less its docks and bars) is `available`: the panel scrolls beyond it.
int panelHeightLimit(QRect available);

// Where the tray's panel of `panel` size goes when the tray icon covers
// `icon` on a screen whose usable area is `available`: beside the icon on
// the tray's side (below an icon at the top, above one at the bottom, to
// the side of one at the left or right), whole inside the usable area,
// which also bounds its height.
QRect trayPanelGeometry(QRect icon, QRect available, QSize panel);

}  // namespace lumenary::app::ui
