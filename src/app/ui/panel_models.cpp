#include "app/ui/panel_models.hpp"

#include "platform/program/updater.hpp"

namespace lumenary::app::ui {

PanelModels::PanelModels(CoreBridge::Services services, EndpointRowViewModel::Pasteboard pasteboard,
                         SettingsPageViewModel::Services settings, QObject* parent)
    : QObject(parent),
      bridge_(std::move(services)),
      panel_(bridge_),
      serviceCard_(bridge_, pasteboard),
      toolCategories_(bridge_, panel_),
      callRecords_(bridge_, panel_),
      settings_(bridge_, panel_, std::move(settings), std::move(pasteboard)) {
    // No update feed exists: the check names the running version and where
    // a newer one comes from.
    panel_.setCheckUpdateAction(
        [this] { settings_.showUpdateMessage(QString::fromStdString(platform::Updater().checkForUpdatesMessage())); });
    bridge_.attach();
}

PanelModels::~PanelModels() = default;

}  // namespace lumenary::app::ui
