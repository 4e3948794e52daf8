#pragma once

#include <QObject>

#include "app/ui/call_records_view_model.hpp"
#include "app/ui/core_bridge.hpp"
#include "app/ui/panel_view_model.hpp"
#include "app/ui/service_card_view_model.hpp"
#include "app/ui/settings_page_view_model.hpp"
#include "app/ui/tool_categories_view_model.hpp"

namespace lumenary::app::ui {

// The panel's view-models over one bridge. The QML root `Panel.qml` of the
// module Lumenary.Ui receives them as the required properties `panel`,
// `serviceCard`, `toolCategories`, `callRecords` and `settings`. UI thread
// only.
class PanelModels : public QObject {
    Q_OBJECT
    // Pages, the shared unfolded categories, the alert and the toast.
    Q_PROPERTY(lumenary::app::ui::PanelViewModel* panel READ panel CONSTANT)
    // The figures, the "启动 MCP" switch and the endpoint rows.
    Q_PROPERTY(lumenary::app::ui::ServiceCardViewModel* serviceCard READ serviceCard CONSTANT)
    // The ten categories with their switches behind the permission gate.
    Q_PROPERTY(lumenary::app::ui::ToolCategoriesViewModel* toolCategories READ toolCategories CONSTANT)
    // The call records by category.
    Q_PROPERTY(lumenary::app::ui::CallRecordsViewModel* callRecords READ callRecords CONSTANT)
    // The settings page with its permissions rows.
    Q_PROPERTY(lumenary::app::ui::SettingsPageViewModel* settings READ settings CONSTANT)

public:
    // `pasteboard` takes every copied text (the endpoint rows', the share
    // text); the system clipboard when empty. The panel's check-for-updates
    // action shows the updater's answer on the settings page.
    explicit PanelModels(CoreBridge::Services services, EndpointRowViewModel::Pasteboard pasteboard = {},
                         SettingsPageViewModel::Services settings = {}, QObject* parent = nullptr);
    ~PanelModels() override;

    CoreBridge& bridge() noexcept { return bridge_; }
    PanelViewModel* panel() noexcept { return &panel_; }
    ServiceCardViewModel* serviceCard() noexcept { return &serviceCard_; }
    ToolCategoriesViewModel* toolCategories() noexcept { return &toolCategories_; }
    CallRecordsViewModel* callRecords() noexcept { return &callRecords_; }
    SettingsPageViewModel* settings() noexcept { return &settings_; }

private:
    CoreBridge bridge_;
    PanelViewModel panel_;
    ServiceCardViewModel serviceCard_;
    ToolCategoriesViewModel toolCategories_;
    CallRecordsViewModel callRecords_;
    SettingsPageViewModel settings_;
};

}  // namespace lumenary::app::ui
