#include "app/ui/service_card_view_model.hpp"

#include "app/ui/core_bridge.hpp"

namespace lumenary::app::ui {

namespace {

QString endpointText(const std::string& url) {
    return url.empty() ? QStringLiteral("未启动") : QString::fromStdString(url);
}

}  // namespace

ServiceCardViewModel::ServiceCardViewModel(CoreBridge& bridge, EndpointRowViewModel::Pasteboard pasteboard,
                                           QObject* parent)
    : QObject(parent),
      bridge_(bridge),
      mcpRow_(QStringLiteral("MCP"), pasteboard),
      sseRow_(QStringLiteral("SSE"), pasteboard),
      stdioRow_(QStringLiteral("Stdio"), pasteboard) {
    connect(&bridge_, &CoreBridge::snapshotChanged, this, &ServiceCardViewModel::refresh);
    refresh();
}

QString ServiceCardViewModel::badgeText() const {
    return isRunning_ ? QStringLiteral("已开启") : QStringLiteral("已关闭");
}

void ServiceCardViewModel::setServiceEnabled(bool enabled) {
    if (enabled) {
        bridge_.startService();
    } else {
        bridge_.stopService();
    }
}

void ServiceCardViewModel::refresh() {
    const auto& snapshot = bridge_.snapshot();
    const QString failure =
        snapshot.lastError ? QStringLiteral("启动失败：") + QString::fromStdString(*snapshot.lastError) : QString();
    const qint64 enabledTools = snapshot.enabledToolCount();
    if (snapshot.isEnabled != isEnabled_ || snapshot.isRunning != isRunning_ || enabledTools != enabledToolCount_ ||
        snapshot.toolCallCount != toolCallCount_ || failure != failureText_) {
        isEnabled_ = snapshot.isEnabled;
        isRunning_ = snapshot.isRunning;
        enabledToolCount_ = enabledTools;
        toolCallCount_ = snapshot.toolCallCount;
        failureText_ = failure;
        Q_EMIT changed();
    }

    const auto httpConfig = QString::fromStdString(snapshot.httpConfigJSON);
    const auto mcpURL = QString::fromStdString(snapshot.mcpURL);
    const auto sseURL = QString::fromStdString(snapshot.sseURL);
    mcpRow_.update(endpointText(snapshot.mcpURL), mcpURL, httpConfig, !mcpURL.isEmpty());
    // The SSE row's configuration is the one that names the /mcp URL.
    sseRow_.update(endpointText(snapshot.sseURL), sseURL, httpConfig, !sseURL.isEmpty());
    stdioRow_.update(QStringLiteral("适用于仅支持命令模式的客户端"), std::nullopt,
                     QString::fromStdString(snapshot.stdioConfigJSON), true);
}

}  // namespace lumenary::app::ui
