#pragma once

#include <vector>

#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>

namespace lumenary::app::ui::testing {

// Every shown control (anything that takes a press, or a text field) lies
// inside the window, or inside the content of a scrolling list that itself
// lies inside the window; and the window fits a screen of `screen` size.
void expectEveryControlReachable(QQuickWindow& window, QQuickItem* root, QSize screen);

enum class ScrollGesture { wheel, keys, drag };
const char* nameOf(ScrollGesture gesture);

// Scrolls `list` (a Flickable) from its top to its end by `gesture`, as far
// as that goes; true when `last` (inside the list) then shows whole within
// the list's view.
bool scrollsIntoView(QQuickWindow& window, QQuickItem* list, QQuickItem* last, ScrollGesture gesture);

// The timers under `root` that would wake the program: running QML Timers
// and Qt timers started by an item, each named by its object.
QStringList runningTimers(QQuickItem* root);

}  // namespace lumenary::app::ui::testing
