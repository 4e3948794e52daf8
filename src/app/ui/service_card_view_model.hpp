#pragma once

#include <QObject>
#include <QString>

#include "app/ui/endpoint_row_view_model.hpp"

namespace lumenary::app::ui {

class CoreBridge;

// The main page's figures, the service card with its "启动 MCP" switch and
// the three endpoint rows, from the bridge's snapshots. UI thread only.
class ServiceCardViewModel : public QObject {
    Q_OBJECT
    // The "启动 MCP" switch: the user's wish that the service run (on while
    // it is still starting).
    Q_PROPERTY(bool isEnabled READ isEnabled NOTIFY changed)
    // The HTTP service is listening: the endpoint list shows and the header
    // badge is green.
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY changed)
    // The header badge's text: "已开启" while running, else "已关闭".
    Q_PROPERTY(QString badgeText READ badgeText NOTIFY changed)
    // The "已启用工具" tile: the tools of the switched-on categories.
    Q_PROPERTY(qint64 enabledToolCount READ enabledToolCount NOTIFY changed)
    // The "调用次数" tile: the calls the service has counted.
    Q_PROPERTY(qint64 toolCallCount READ toolCallCount NOTIFY changed)
    // "启动失败：" and the manager's last error while one is set; else empty.
    Q_PROPERTY(QString failureText READ failureText NOTIFY changed)
    // The three endpoint rows, in list order.
    Q_PROPERTY(lumenary::app::ui::EndpointRowViewModel* mcpRow READ mcpRow CONSTANT)
    Q_PROPERTY(lumenary::app::ui::EndpointRowViewModel* sseRow READ sseRow CONSTANT)
    Q_PROPERTY(lumenary::app::ui::EndpointRowViewModel* stdioRow READ stdioRow CONSTANT)

public:
    ServiceCardViewModel(CoreBridge& bridge, EndpointRowViewModel::Pasteboard pasteboard = {},
                         QObject* parent = nullptr);

    bool isEnabled() const noexcept { return isEnabled_; }
    bool isRunning() const noexcept { return isRunning_; }
    QString badgeText() const;
    qint64 enabledToolCount() const noexcept { return enabledToolCount_; }
    qint64 toolCallCount() const noexcept { return toolCallCount_; }
    QString failureText() const { return failureText_; }
    EndpointRowViewModel* mcpRow() noexcept { return &mcpRow_; }
    EndpointRowViewModel* sseRow() noexcept { return &sseRow_; }
    EndpointRowViewModel* stdioRow() noexcept { return &stdioRow_; }

    // The switch: on starts the service, off withdraws the wish and stops it.
    Q_INVOKABLE void setServiceEnabled(bool enabled);

Q_SIGNALS:
    void changed();

private:
    void refresh();

    CoreBridge& bridge_;
    bool isEnabled_ = false;
    bool isRunning_ = false;
    qint64 enabledToolCount_ = 0;
    qint64 toolCallCount_ = 0;
    QString failureText_;
    EndpointRowViewModel mcpRow_;
    EndpointRowViewModel sseRow_;
    EndpointRowViewModel stdioRow_;
};

}  // namespace lumenary::app::ui
