#include "app/ui/reachable_controls.hpp"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "app/ui/panel_harness.hpp"

namespace lumenary::app::ui::testing {

namespace {

bool isList(const QQuickItem* item) { return item->inherits("QQuickFlickable"); }

QQuickItem* enclosingList(QQuickItem* item) {
    for (auto* ancestor = item->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
        if (isList(ancestor)) {
            return ancestor;
        }
    }
    return nullptr;
}

void collectControls(QQuickItem* item, std::vector<QQuickItem*>& controls) {
    if (!item->isVisible() || item->opacity() <= 0) {
        return;
    }
    if (!isList(item) && (item->acceptedMouseButtons() != Qt::NoButton || item->inherits("QQuickTextInput"))) {
        controls.push_back(item);
    }
    for (auto* child : item->childItems()) {
        collectControls(child, controls);
    }
}

QString nameOf(const QObject* object) {
    const QString name = object->objectName();
    return name.isEmpty() ? QString::fromLatin1(object->metaObject()->className()) : name;
}

std::string describe(QRectF rect) {
    return QStringLiteral("(%1, %2, %3 × %4)").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height()).toStdString();
}

bool holds(QRectF outer, QRectF inner) { return outer.adjusted(-0.5, -0.5, 0.5, 0.5).contains(inner); }

void collectTimers(QObject* object, QStringList& running) {
    if (object->inherits("QQmlTimer") && object->property("running").toBool()) {
        running << nameOf(object);
    }
    if (!QAbstractEventDispatcher::instance()->registeredTimers(object).isEmpty()) {
        running << nameOf(object);
    }
    for (auto* child : object->children()) {
        collectTimers(child, running);
    }
    if (auto* item = qobject_cast<QQuickItem*>(object)) {
        for (auto* child : item->childItems()) {
            if (child->parent() != object) {
                collectTimers(child, running);
            }
        }
    }
}

}  // namespace

void expectEveryControlReachable(QQuickWindow& window, QQuickItem* root, QSize screen) {
    EXPECT_LE(window.width(), screen.width());
    EXPECT_LE(window.height(), screen.height());
    const QRectF inWindow(0, 0, window.width(), window.height());
    std::vector<QQuickItem*> controls;
    collectControls(root, controls);
    ASSERT_FALSE(controls.empty());
    for (auto* control : controls) {
        const QRectF own(0, 0, control->width(), control->height());
        if (auto* list = enclosingList(control)) {
            auto* content = list->property("contentItem").value<QQuickItem*>();
            const QRectF scrolled(0, 0, list->width(), std::max(list->height(), list->property("contentHeight").toReal()));
            EXPECT_TRUE(holds(scrolled, control->mapRectToItem(content, own)))
                << nameOf(control).toStdString() << " " << describe(control->mapRectToItem(content, own))
                << " outside its list's content " << describe(scrolled);
            EXPECT_TRUE(holds(inWindow, list->mapRectToScene(QRectF(0, 0, list->width(), list->height()))))
                << "the list around " << nameOf(control).toStdString() << " leaves the window";
        } else {
            EXPECT_TRUE(holds(inWindow, control->mapRectToScene(own)))
                << nameOf(control).toStdString() << " " << describe(control->mapRectToScene(own))
                << " outside the window " << describe(inWindow);
        }
    }
}

const char* nameOf(ScrollGesture gesture) {
    switch (gesture) {
    case ScrollGesture::wheel: return "wheel";
    case ScrollGesture::keys: return "keys";
    case ScrollGesture::drag: return "drag";
    }
    return "?";
}

bool scrollsIntoView(QQuickWindow& window, QQuickItem* list, QQuickItem* last, ScrollGesture gesture) {
    list->setProperty("contentY", 0);
    QCoreApplication::processEvents();
    const QPoint middle = list->mapToScene(QPointF(list->width() / 2, list->height() / 2)).toPoint();
    for (int attempt = 0; attempt < 20 && !list->property("atYEnd").toBool(); ++attempt) {
        const qreal before = list->property("contentY").toReal();
        switch (gesture) {
        case ScrollGesture::wheel: {
            // Five notches at once.
            QWheelEvent wheel(QPointF(middle), QPointF(window.mapToGlobal(middle)), QPoint(), QPoint(0, -600),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(&window, &wheel);
            break;
        }
        case ScrollGesture::keys:
            QTest::keyClick(&window, Qt::Key_PageDown);
            break;
        case ScrollGesture::drag:
            QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, middle);
            for (int step = 1; step <= 8; ++step) {
                QTest::mouseMove(&window, middle - QPoint(0, step * 15));
            }
            QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, middle - QPoint(0, 120));
            break;
        }
        // A flick moves on the next frames, and a new gesture would stop it.
        const bool moved = app::testing::waitUntil(
            [list, before] { return list->property("contentY").toReal() != before; }, std::chrono::seconds(2));
        if (!moved) {
            break;
        }
        app::testing::waitUntil([list] { return !list->property("moving").toBool(); });
    }
    const QRectF view = list->mapRectToScene(QRectF(0, 0, list->width(), list->height()));
    const QRectF drawn = last->mapRectToScene(QRectF(0, 0, last->width(), last->height()));
    if (!holds(view, drawn)) {
        ADD_FAILURE() << nameOf(gesture) << ": " << nameOf(last).toStdString() << " at " << describe(drawn)
                      << " outside the list's view " << describe(view) << " scrolled to "
                      << list->property("contentY").toReal() << " of " << list->property("contentHeight").toReal();
        return false;
    }
    return true;
}

QStringList runningTimers(QQuickItem* root) {
    QStringList running;
    collectTimers(root, running);
    return running;
}

}  // namespace lumenary::app::ui::testing
