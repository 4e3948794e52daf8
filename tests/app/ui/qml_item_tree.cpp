#include "app/ui/qml_item_tree.hpp"

#include <gtest/gtest.h>

namespace lumenary::app::ui::testing {
namespace {

void collect(QQuickItem* item, const QString& objectName, std::vector<QQuickItem*>& found) {
    if (item->objectName() == objectName) {
        found.push_back(item);
    }
    for (QQuickItem* child : item->childItems()) {
        collect(child, objectName, found);
    }
}

void collectTexts(QQuickItem* item, std::vector<QQuickItem*>& found) {
    if (!isShown(item)) {
        return;
    }
    const QMetaObject* meta = item->metaObject();
    if (meta->indexOfProperty("text") >= 0 && meta->indexOfProperty("font") >= 0 &&
        !item->property("text").toString().isEmpty()) {
        found.push_back(item);
    }
    for (QQuickItem* child : item->childItems()) {
        collectTexts(child, found);
    }
}

}  // namespace

std::vector<QQuickItem*> itemsNamed(QQuickItem* root, const QString& objectName) {
    std::vector<QQuickItem*> found;
    collect(root, objectName, found);
    return found;
}

bool isShown(const QQuickItem* item) {
    for (const QQuickItem* at = item; at != nullptr; at = at->parentItem()) {
        if (!at->isVisible() || at->opacity() <= 0) {
            return false;
        }
    }
    return true;
}

std::vector<QQuickItem*> shownItemsNamed(QQuickItem* root, const QString& objectName) {
    std::vector<QQuickItem*> shown;
    for (QQuickItem* item : itemsNamed(root, objectName)) {
        if (isShown(item)) {
            shown.push_back(item);
        }
    }
    return shown;
}

QQuickItem* shownItem(QQuickItem* root, const QString& objectName) {
    const std::vector<QQuickItem*> shown = shownItemsNamed(root, objectName);
    EXPECT_EQ(shown.size(), 1u) << "shown items named " << objectName.toStdString();
    return shown.size() == 1 ? shown.front() : nullptr;
}

QStringList textsOf(const std::vector<QQuickItem*>& items) {
    QStringList texts;
    for (const QQuickItem* item : items) {
        texts << item->property("text").toString();
    }
    return texts;
}

std::vector<QQuickItem*> shownTextItems(QQuickItem* root) {
    std::vector<QQuickItem*> found;
    collectTexts(root, found);
    return found;
}

}  // namespace lumenary::app::ui::testing
