#include "app/ui/settings_page_view_model.hpp"

#include <algorithm>
#include <string>

#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

#include "app/settings/port_text.hpp"
#include "app/settings/project_documents.hpp"
#include "app/settings/random_port.hpp"
#include "app/ui/core_bridge.hpp"
#include "app/ui/panel_view_model.hpp"
#include "platform/program/updater.hpp"

namespace lumenary::app::ui {

SettingsPageViewModel::SettingsPageViewModel(CoreBridge& bridge, PanelViewModel& panel, Services services,
                                             EndpointRowViewModel::Pasteboard pasteboard, QObject* parent)
    : QObject(parent),
      bridge_(bridge),
      panel_(panel),
      launchAtLogin_(services.launchAtLogin ? *services.launchAtLogin : LaunchAtLoginManager::shared()),
      portCandidates_(services.portCandidates ? std::move(services.portCandidates) : drawPortCandidate),
      projectAddress_(services.projectAddress.value_or(buildProjectAddress())),
      readmePath_(services.readmePath.value_or(sourceReadmePath())),
      console_(std::move(services.console)),
      pasteboard_(std::move(pasteboard)),
      permissions_(bridge),
      versionText_(QString::fromStdString(platform::Updater().versionText())) {
    if (!pasteboard_) {
        pasteboard_ = [](const QString& text) { QGuiApplication::clipboard()->setText(text); };
    }
    connect(&bridge_, &CoreBridge::snapshotChanged, this, &SettingsPageViewModel::refresh);
    snapshotPort_ = bridge_.snapshot().customPort;
}

void SettingsPageViewModel::refresh() {
    const std::uint16_t before = shownPort();
    snapshotPort_ = bridge_.snapshot().customPort;
    // Snapshots arrive in the order the core applied the writes: one that
    // shows a written port confirms it and every write before it; one taken
    // before the writes confirms nothing.
    const auto confirmed = std::find(unconfirmedPorts_.begin(), unconfirmedPorts_.end(), snapshotPort_);
    if (confirmed != unconfirmedPorts_.end()) {
        unconfirmedPorts_.erase(unconfirmedPorts_.begin(), confirmed + 1);
    }
    if (shownPort() != before) {
        Q_EMIT portChanged();
    }
}

std::uint16_t SettingsPageViewModel::shownPort() const {
    return unconfirmedPorts_.empty() ? snapshotPort_ : unconfirmedPorts_.back();
}

void SettingsPageViewModel::writePort(std::uint16_t port) {
    const std::uint16_t before = shownPort();
    unconfirmedPorts_.push_back(port);
    bridge_.setPort(port);
    if (port != before) {
        Q_EMIT portChanged();
    }
}

void SettingsPageViewModel::pageShown() {
    const bool before = launchAtLogin_.isEnabled();
    if (launchAtLogin_.refresh() != before) {
        Q_EMIT launchAtLoginChanged();
    }
    showUpdateMessage({});
}

void SettingsPageViewModel::setLaunchAtLogin(bool enabled) {
    const bool before = launchAtLogin_.isEnabled();
    if (launchAtLogin_.setEnabled(enabled) != before) {
        Q_EMIT launchAtLoginChanged();
    }
}

QString SettingsPageViewModel::commitPortText(const QString& text) {
    if (const auto port = portFromText(text.toStdString())) {
        writePort(*port);
    }
    return portText();
}

void SettingsPageViewModel::randomizePort() {
    const auto port = drawFreePort(shownPort(), portCandidates_);
    if (!port) {
        console_.print("The dice found no port: ", port.error().description);
        return;
    }
    writePort(port.value());
}

void SettingsPageViewModel::openDocument() {
    bridge_.openURL(documentAddress(projectAddress_, readmePath_));
}

void SettingsPageViewModel::checkForUpdates() {
    panel_.checkForUpdates();
}

void SettingsPageViewModel::showUpdateMessage(QString message) {
    if (message == updateMessage_) {
        return;
    }
    updateMessage_ = std::move(message);
    Q_EMIT updateMessageChanged();
}

QString SettingsPageViewModel::shareText() const {
    return QString::fromStdString(app::shareText(projectAddress_));
}

void SettingsPageViewModel::shareToFriends() {
    pasteboard_(shareText());
    panel_.setShowCopySuccess(true);
    QTimer::singleShot(toastInterval_, Qt::PreciseTimer, this, [this] { panel_.setShowCopySuccess(false); });
}

void SettingsPageViewModel::quit() {
    if (!quitAction_) {
        console_.print("\"退出\" has no stop to run in this panel");
        return;
    }
    quitAction_();
}

std::optional<mcp::MCPError> SettingsPageViewModel::setToastInterval(std::chrono::milliseconds interval) {
    if (interval.count() <= 0) {
        return mcp::MCPError::invalidParams("the share toast interval must be positive, not " +
                                            std::to_string(interval.count()) + " ms");
    }
    toastInterval_ = interval;
    return std::nullopt;
}

}  // namespace lumenary::app::ui
