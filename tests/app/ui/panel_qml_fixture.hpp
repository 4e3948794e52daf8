#pragma once

#include <functional>
#include <memory>

#include <QStringList>
#include <gtest/gtest.h>

#include "app/ui/panel_harness.hpp"
#include "app/ui/panel_scene.hpp"
#include "app/ui/qml_item_tree.hpp"
#include "app/ui/qml_warning_log.hpp"

namespace lumenary::app::ui::testing {

// The panel's QML over the real view-models and the real core of the
// panel harness (copied texts caught instead of the clipboard). Any
// warning Qt reports while the panel lives fails the test.
class PanelQmlTest : public ::testing::Test {
protected:
    explicit PanelQmlTest(std::function<void(platform::MemoryDefaultsStore&)> prepare = {})
        : harness(std::move(prepare)) {}

    void SetUp() override { showPanel(PanelScene::Appearance::light); }

    void TearDown() override {
        scene.reset();
        const QStringList warnings = log.warnings();
        EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();
    }

    void showPanel(PanelScene::Appearance appearance) {
        scene.reset();
        scene = std::make_unique<PanelScene>(*harness.models, appearance);
    }

    QQuickItem* root() const { return scene->root(); }
    QQuickItem* shown(const QString& objectName) const { return shownItem(root(), objectName); }
    QStringList shownTexts(const QString& objectName) const { return textsOf(shownItemsNamed(root(), objectName)); }
    // The shown item of that name inside `within`.
    QQuickItem* shownIn(QQuickItem* within, const QString& objectName) const { return shownItem(within, objectName); }

    static bool waitUntil(const std::function<bool()>& condition) { return app::testing::waitUntil(condition); }

    // Successful calls as the tool service records them.
    void recordCalls(const std::string& toolName, const std::string& category, int count) {
        harness.onCore([&] {
            for (int call = 0; call < count; ++call) {
                harness.tools->recordCall(toolName, category);
            }
        });
    }

    app::testing::PanelHarness harness;
    app::testing::FakePermissionManager& permissions = *harness.permissions;
    ui::PanelModels& models = *harness.models;
    QmlWarningLog log;
    std::unique_ptr<PanelScene> scene;
};

}  // namespace lumenary::app::ui::testing
