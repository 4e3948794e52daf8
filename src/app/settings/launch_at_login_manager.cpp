#include "app/settings/launch_at_login_manager.hpp"

#include <utility>

namespace lumenary::app {

LaunchAtLoginManager::LaunchAtLoginManager(platform::LoginItem item, logging::Console console)
    : item_(std::move(item)), console_(std::move(console)), isEnabled_(item_.isRegistered()) {}

LaunchAtLoginManager& LaunchAtLoginManager::shared() {
    static LaunchAtLoginManager manager;
    return manager;
}

bool LaunchAtLoginManager::setEnabled(bool enabled) {
    const auto error = enabled ? item_.registerItem() : item_.unregisterItem();
    if (error) {
        console_.print(enabled ? "cannot turn launch at login on: " : "cannot turn launch at login off: ",
                       error->description);
    }
    return refresh();
}

bool LaunchAtLoginManager::refresh() {
    isEnabled_ = item_.isRegistered();
    return isEnabled_;
}

}  // namespace lumenary::app
