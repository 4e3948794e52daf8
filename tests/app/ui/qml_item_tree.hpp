#pragma once

#include <vector>

#include <QQuickItem>
#include <QString>
#include <QStringList>

namespace lumenary::app::ui::testing {

// The item tree as the scene graph draws it: a walk over childItems(),
// which also reaches what a Repeater made (findChildren does not, because
// a Repeater's items are not its QObject children).
std::vector<QQuickItem*> itemsNamed(QQuickItem* root, const QString& objectName);
// Those of itemsNamed() that are drawn: the item and all its ancestors
// visible and not fully transparent.
std::vector<QQuickItem*> shownItemsNamed(QQuickItem* root, const QString& objectName);
// The one shown item of that name; a test failure and nullptr unless
// exactly one is shown.
QQuickItem* shownItem(QQuickItem* root, const QString& objectName);
bool isShown(const QQuickItem* item);
// The `text` property of each item.
QStringList textsOf(const std::vector<QQuickItem*>& items);
// Every shown text item under `root` (anything with a `text` and a `font`).
std::vector<QQuickItem*> shownTextItems(QQuickItem* root);

}  // namespace lumenary::app::ui::testing
