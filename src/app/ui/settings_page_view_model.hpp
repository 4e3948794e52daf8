#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include <QObject>
#include <QString>

#include "app/settings/launch_at_login_manager.hpp"
#include "app/ui/endpoint_row_view_model.hpp"
#include "app/ui/permissions_content_view_model.hpp"
#include "logging/console.hpp"
#include "mcp/core/mcp_error.hpp"

namespace lumenary::app::ui {

class CoreBridge;
class PanelViewModel;

// The settings page: launch at login, the MCP port with its field and dice,
// the permissions rows, the document rows, the update check, the share text
// and "退出". UI thread only.
//
// The port field commits on Enter or when it loses focus, never per
// keystroke: a half-typed port would restart the service on a port it may
// not bind. A text that names no port writes nothing and the field shows the
// current port again.
class SettingsPageViewModel : public QObject {
    Q_OBJECT
    // The launch-at-login switch: what the autostart entry says, as last read.
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY launchAtLoginChanged)
    // The port field's text: the port in decimal.
    Q_PROPERTY(QString portText READ portText NOTIFY portChanged)
    // The "检查更新" row's "v" and the build's version.
    Q_PROPERTY(QString versionText READ versionText CONSTANT)
    // What the update check answered; empty until the row is pressed, and
    // again each time the page is shown.
    Q_PROPERTY(QString updateMessage READ updateMessage NOTIFY updateMessageChanged)
    Q_PROPERTY(lumenary::app::ui::PermissionsContentViewModel* permissions READ permissions CONSTANT)

public:
    struct Services {
        // The shared manager when null.
        LaunchAtLoginManager* launchAtLogin = nullptr;
        // The dice's source of candidate ports.
        std::function<std::uint16_t()> portCandidates = {};
        // What the banner, "关于我们" and "使用教程" open and the share text
        // ends with; the build's when absent.
        std::optional<std::string> projectAddress = std::nullopt;
        std::optional<std::string> readmePath = std::nullopt;
        logging::Console console = logging::Console::standardError("[Settings] ");
    };
    static constexpr std::chrono::milliseconds defaultToastInterval{2000};

    SettingsPageViewModel(CoreBridge& bridge, PanelViewModel& panel, Services services,
                          EndpointRowViewModel::Pasteboard pasteboard = {}, QObject* parent = nullptr);

    bool launchAtLogin() const { return launchAtLogin_.isEnabled(); }
    QString portText() const { return QString::number(shownPort()); }
    QString versionText() const { return versionText_; }
    QString updateMessage() const { return updateMessage_; }
    PermissionsContentViewModel* permissions() noexcept { return &permissions_; }

    // Each showing of the page: the switch reads the autostart entry again
    // and an earlier update answer goes.
    Q_INVOKABLE void pageShown();
    // The switch: registers or unregisters, then shows what the entry says.
    Q_INVOKABLE void setLaunchAtLogin(bool enabled);
    // The port field's commit. Writes the port the text names (also the
    // current one) and answers the text the field shows now: the written
    // port, or the current one when the text names none.
    Q_INVOKABLE QString commitPortText(const QString& text);
    // The dice: a port other than the current one that 127.0.0.1 can bind
    // now; when none comes up the port stays and one line says why.
    Q_INVOKABLE void randomizePort();
    // The banner, "关于我们" and "使用教程".
    Q_INVOKABLE void openDocument();
    // "检查更新": runs the check-for-updates action the panel was handed.
    Q_INVOKABLE void checkForUpdates();
    // What the update check answers shows under its row.
    void showUpdateMessage(QString message);
    // "分享给好友": the share text to the clipboard and the copy toast, hidden
    // the toast interval after this press. A press does not put off the hide
    // of an earlier one.
    Q_INVOKABLE void shareToFriends();
    // "退出": the program's orderly stop, the same as SIGTERM's.
    Q_INVOKABLE void quit();

    void setQuitAction(std::function<void()> action) { quitAction_ = std::move(action); }
    // Refused (with the error) unless positive.
    std::optional<mcp::MCPError> setToastInterval(std::chrono::milliseconds interval);
    // The text the share row copies.
    QString shareText() const;

Q_SIGNALS:
    void launchAtLoginChanged();
    void portChanged();
    void updateMessageChanged();

private:
    void refresh();
    std::uint16_t shownPort() const;
    void writePort(std::uint16_t port);

    CoreBridge& bridge_;
    PanelViewModel& panel_;
    LaunchAtLoginManager& launchAtLogin_;
    std::function<std::uint16_t()> portCandidates_;
    std::string projectAddress_;
    std::string readmePath_;
    logging::Console console_;
    EndpointRowViewModel::Pasteboard pasteboard_;
    PermissionsContentViewModel permissions_;
    QString versionText_;
    QString updateMessage_;
    std::function<void()> quitAction_;
    std::chrono::milliseconds toastInterval_ = defaultToastInterval;
    // The port of the latest snapshot, and the ports written since that the
    // snapshots have not shown yet, oldest first: the field and the dice go
    // by the latest write, not by a snapshot taken before it.
    std::uint16_t snapshotPort_ = 0;
    std::deque<std::uint16_t> unconfirmedPorts_;
};

}  // namespace lumenary::app::ui
