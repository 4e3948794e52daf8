#include "app/ui/panel_scene.hpp"

#include <thread>

#include <QCoreApplication>
#include <QQmlComponent>
#include <QSGRendererInterface>
#include <QTest>
#include <gtest/gtest.h>

#include "app/ui/panel_harness.hpp"
#include "app/ui/panel_models.hpp"
#include "app/ui/panel_placement.hpp"
#include "app/ui/panel_qml_engine.hpp"

namespace lumenary::app::ui::testing {

PanelScene::PanelScene(PanelModels& models, Appearance appearance) {
    engine_ = std::make_unique<QQmlEngine>();
    preparePanelEngine(*engine_);
    runTokenScript(QStringLiteral("Tokens.animationsEnabled = false; Tokens.dark = %1;")
                       .arg(appearance == Appearance::dark ? QStringLiteral("true") : QStringLiteral("false")));

    QQmlComponent component(engine_.get());
    component.setData("import Lumenary.Ui\nPanel {}", QUrl(QStringLiteral("qrc:/lumenary_tests/panel_scene.qml")));
    const QVariantMap models_{
        {QStringLiteral("panel"), QVariant::fromValue<QObject*>(models.panel())},
        {QStringLiteral("serviceCard"), QVariant::fromValue<QObject*>(models.serviceCard())},
        {QStringLiteral("toolCategories"), QVariant::fromValue<QObject*>(models.toolCategories())},
        {QStringLiteral("callRecords"), QVariant::fromValue<QObject*>(models.callRecords())},
        {QStringLiteral("settings"), QVariant::fromValue<QObject*>(models.settings())},
    };
    if (!component.isReady()) {
        ADD_FAILURE() << "the panel did not load: " << component.errorString().toStdString();
        return;
    }
    root_ = qobject_cast<QQuickItem*>(component.createWithInitialProperties(models_));
    if (root_ == nullptr) {
        ADD_FAILURE() << "the panel did not load: " << component.errorString().toStdString();
        return;
    }

    window_ = std::make_unique<QQuickWindow>();
    root_->setParentItem(window_->contentItem());
    const auto followHeight = [this] {
        root_->setHeight(root_->implicitHeight());
        window_->resize(static_cast<int>(root_->width()), static_cast<int>(std::ceil(root_->implicitHeight())));
    };
    QObject::connect(root_, &QQuickItem::implicitHeightChanged, window_.get(), followHeight);
    followHeight();
    window_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    // The test program's main chooses the software scene graph before any
    // window exists; a second choice would only draw a warning.
    EXPECT_EQ(window_->rendererInterface()->graphicsApi(), QSGRendererInterface::Software);
}

PanelScene::~PanelScene() {
    delete root_;
    window_.reset();
    engine_.reset();
}

void PanelScene::runTokenScript(const QString& statements) {
    QQmlComponent component(engine_.get());
    component.setData(QStringLiteral("import QtQml\nimport Lumenary.Ui\nQtObject { Component.onCompleted: { %1 } }")
                          .arg(statements)
                          .toUtf8(),
                      QUrl(QStringLiteral("qrc:/lumenary_tests/tokens.qml")));
    ASSERT_TRUE(component.isReady()) << component.errorString().toStdString();
    std::unique_ptr<QObject> script(component.create());
    EXPECT_NE(script, nullptr) << component.errorString().toStdString();
}

namespace {

QPoint centreInWindow(QQuickItem* item) {
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}

}  // namespace

void PanelScene::click(QQuickItem* item) {
    ASSERT_NE(item, nullptr);
    settle();
    clickAt(centreInWindow(item));
}

void PanelScene::settle() {
    QCoreApplication::processEvents();
    // Layouts place their items when the window polishes before a frame;
    // drawing one puts every item where the pointer will find it.
    static_cast<void>(window_->grabWindow());
}

void PanelScene::clickAt(QPoint point) {
    settle();
    QTest::mouseMove(window_.get(), point);
    QTest::mouseClick(window_.get(), Qt::LeftButton, Qt::NoModifier, point);
    QCoreApplication::processEvents();
}

void PanelScene::hover(QQuickItem* item) {
    ASSERT_NE(item, nullptr);
    settle();
    QTest::mouseMove(window_.get(), centreInWindow(item));
    QCoreApplication::processEvents();
}

void PanelScene::boundByScreen(QRect usable) {
    root_->setProperty("maximumHeight", panelHeightLimit(usable));
    settle();
}

QImage PanelScene::grab() {
    // Columns measure themselves while the window polishes, and the window
    // follows the panel's height only after that: draw until the size holds.
    const bool sized = app::testing::waitUntil([this] {
        settle();
        return window_->height() == static_cast<int>(std::ceil(root_->implicitHeight()));
    });
    EXPECT_TRUE(sized) << "the window never took the panel's height " << root_->implicitHeight();
    return window_->grabWindow();
}

}  // namespace lumenary::app::ui::testing
