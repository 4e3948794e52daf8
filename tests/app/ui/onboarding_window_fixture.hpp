#pragma once

#include <memory>

#include <QCoreApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QTest>
#include <gtest/gtest.h>

#include "app/ui/app_delegate.hpp"
#include "app/ui/first_run_window.hpp"
#include "app/ui/onboarding_view_model.hpp"
#include "app/ui/panel_harness.hpp"
#include "app/ui/qml_item_tree.hpp"
#include "app/ui/qml_warning_log.hpp"

namespace lumenary::app::ui::testing {

// The application delegate over the harness's core and defaults, its
// first-run window on the offscreen platform with every animation off.
// Any warning Qt reports while it lives fails the test.
class OnboardingWindowTest : public ::testing::Test {
protected:
    void TearDown() override {
        delegate.reset();
        QCoreApplication::processEvents();
        const QStringList warnings = log.warnings();
        EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();
    }

    // A launch: a new delegate over the same defaults.
    void launch() {
        delegate = std::make_unique<AppDelegate>(harness.bridge(), harness.defaults);
        delegate->applicationDidFinishLaunching();
        if (auto* shownWindow = window()) {
            stillAnimations(*shownWindow);
            EXPECT_TRUE(QTest::qWaitForWindowExposed(shownWindow));
        }
    }

    FirstRunWindow* window() const { return delegate ? delegate->onboardingWindow() : nullptr; }
    OnboardingViewModel& onboarding() const { return *delegate->onboarding(); }
    QQuickItem* root() const { return window() ? window()->rootObject() : nullptr; }
    QQuickItem* shown(const QString& objectName) const { return shownItem(root(), objectName); }
    QStringList shownTexts(const QString& objectName) const { return textsOf(shownItemsNamed(root(), objectName)); }
    // Every text drawn in the window, line by line (texts whose middles lie
    // within 2 pixels share a line), each line left to right.
    QStringList allShownTexts() const {
        auto items = shownTextItems(root());
        const auto middle = [](QQuickItem* item) { return item->mapToScene({0, item->height() / 2}); };
        std::stable_sort(items.begin(), items.end(), [&middle](QQuickItem* left, QQuickItem* right) {
            const auto a = middle(left);
            const auto b = middle(right);
            return std::abs(a.y() - b.y()) > 2 ? a.y() < b.y() : a.x() < b.x();
        });
        return textsOf(items);
    }

    void click(QQuickItem* item) {
        ASSERT_NE(item, nullptr);
        settle();
        const QPoint point = item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
        QTest::mouseMove(window(), point);
        QTest::mouseClick(window(), Qt::LeftButton, Qt::NoModifier, point);
        QCoreApplication::processEvents();
    }

    // Scrolls the tool list of page 3 until `item` (inside it) shows.
    void scrollToolListTo(QQuickItem* item) {
        QQuickItem* list = shown(QStringLiteral("toolRowList"));
        ASSERT_NE(list, nullptr);
        auto* content = list->property("contentItem").value<QQuickItem*>();
        ASSERT_NE(content, nullptr);
        const qreal top = item->mapToItem(content, QPointF(0, 0)).y();
        const qreal lowest = list->property("contentHeight").toReal() - list->height();
        list->setProperty("contentY", std::max<qreal>(0, std::min(top, lowest)));
        settle();
    }

    void settle() {
        QCoreApplication::processEvents();
        // Layouts place their items when the window polishes before a frame.
        static_cast<void>(window()->grabWindow());
    }

    QImage grab() {
        settle();
        return window()->grabWindow();
    }

    static bool waitUntil(const std::function<bool()>& condition) { return app::testing::waitUntil(condition); }

    app::testing::PanelHarness harness;
    app::testing::FakePermissionManager& permissions = *harness.permissions;
    QmlWarningLog log;
    std::unique_ptr<AppDelegate> delegate;

private:
    static void stillAnimations(FirstRunWindow& shownWindow) {
        QQmlComponent component(shownWindow.engine());
        component.setData("import QtQml\nimport Lumenary.Ui\n"
                          "QtObject { Component.onCompleted: { Tokens.animationsEnabled = false; Tokens.dark = false } }",
                          QUrl(QStringLiteral("qrc:/lumenary_tests/onboarding_tokens.qml")));
        ASSERT_TRUE(component.isReady()) << component.errorString().toStdString();
        std::unique_ptr<QObject> script(component.create());
        EXPECT_NE(script, nullptr) << component.errorString().toStdString();
    }
};

}  // namespace lumenary::app::ui::testing
