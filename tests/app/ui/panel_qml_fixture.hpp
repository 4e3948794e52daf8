#pragma once

#include <memory>

#include <QStringList>
#include <gtest/gtest.h>

#include "app/ui/panel_core.hpp"
#include "app/ui/panel_models.hpp"
#include "app/ui/panel_scene.hpp"
#include "app/ui/qml_item_tree.hpp"
#include "app/ui/qml_warning_log.hpp"

namespace lumenary::app::ui::testing {

// The panel's QML over the real view-models and the real core, with the
// copied texts caught instead of the clipboard. Any warning Qt reports
// while the panel lives fails the test.
class PanelQmlTest : public ::testing::Test {
protected:
    explicit PanelQmlTest(std::optional<ToolCategories> categories = std::nullopt) : core(std::move(categories)) {}

    void SetUp() override { showPanel(PanelScene::Appearance::light); }

    void TearDown() override {
        scene.reset();
        models.reset();
        const QStringList warnings = log.warnings();
        EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();
    }

    void showPanel(PanelScene::Appearance appearance) {
        scene.reset();
        scene = std::make_unique<PanelScene>(*models, appearance);
        // The first snapshot carries the categories' tool lists.
        ASSERT_TRUE(PanelScene::waitUntil([this] { return !models->bridge().snapshot().categoryTools->front().empty(); }));
    }

    QQuickItem* root() const { return scene->root(); }
    QQuickItem* shown(const QString& objectName) const { return shownItem(root(), objectName); }
    QStringList shownTexts(const QString& objectName) const { return textsOf(shownItemsNamed(root(), objectName)); }
    // The shown item of that name inside `within`.
    QQuickItem* shownIn(QQuickItem* within, const QString& objectName) const { return shownItem(within, objectName); }

    bool waitUntil(const std::function<bool()>& condition) { return PanelScene::waitUntil(condition); }

    PanelCore core;
    QStringList copied;
    std::unique_ptr<PanelModels> models =
        std::make_unique<PanelModels>(core.services(), [this](const QString& text) { copied << text; });
    QmlWarningLog log;
    std::unique_ptr<PanelScene> scene;
};

}  // namespace lumenary::app::ui::testing
