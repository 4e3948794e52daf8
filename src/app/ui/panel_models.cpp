#include "app/ui/panel_models.hpp"

namespace lumenary::app::ui {

PanelModels::PanelModels(CoreBridge::Services services, EndpointRowViewModel::Pasteboard pasteboard, QObject* parent)
    : QObject(parent),
      bridge_(std::move(services)),
      panel_(bridge_),
      serviceCard_(bridge_, std::move(pasteboard)),
      toolCategories_(bridge_, panel_),
      callRecords_(bridge_, panel_) {
    bridge_.attach();
}

PanelModels::~PanelModels() = default;

}  // namespace lumenary::app::ui
