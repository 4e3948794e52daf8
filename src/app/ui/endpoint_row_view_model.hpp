#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include <QObject>
#include <QString>
#include <QTimer>

#include "mcp/core/mcp_error.hpp"

namespace lumenary::app::ui {

// One row of the endpoint list: a badge, a text, and up to two copy buttons
// that put a link or a client configuration on the clipboard and give way
// to "已复制" until the tip interval after the latest copy. Whether the
// pointer is over the row is the view's own state. UI thread only.
class EndpointRowViewModel : public QObject {
    Q_OBJECT
    // The badge label: "MCP", "SSE" or "Stdio".
    Q_PROPERTY(QString badge READ badge CONSTANT)
    // The row's text: the endpoint URL, "未启动" while it is empty, or the
    // Stdio row's description.
    Q_PROPERTY(QString content READ content NOTIFY changed)
    // Whether the row has a link button ("复制链接") and a configuration
    // button ("复制 JSON 配置"); the Stdio row has the second only.
    Q_PROPERTY(bool hasCopyLink READ hasCopyLink NOTIFY changed)
    Q_PROPERTY(bool hasCopyJSON READ hasCopyJSON NOTIFY changed)
    // Whether the trailing copy area exists at all.
    Q_PROPERTY(bool showCopy READ showCopy NOTIFY changed)
    // "已复制" shows in place of the buttons.
    Q_PROPERTY(bool showCopiedTip READ showCopiedTip NOTIFY showCopiedTipChanged)

public:
    using Pasteboard = std::function<void(const QString&)>;
    static constexpr std::chrono::milliseconds defaultTipInterval{2000};

    // `pasteboard` receives every copied text; the system clipboard when empty.
    EndpointRowViewModel(QString badge, Pasteboard pasteboard = {}, QObject* parent = nullptr);

    QString badge() const { return badge_; }
    QString content() const { return content_; }
    bool hasCopyLink() const noexcept { return copyLink_.has_value(); }
    bool hasCopyJSON() const noexcept { return copyJSON_.has_value(); }
    bool showCopy() const noexcept { return showCopy_; }
    bool showCopiedTip() const noexcept { return showCopiedTip_; }

    // Set by the service card from each snapshot.
    void update(QString content, std::optional<QString> copyLink, std::optional<QString> copyJSON, bool showCopy);

    // The two buttons' actions.
    Q_INVOKABLE void copyLink();
    Q_INVOKABLE void copyJSON();
    // Nothing happens for an empty text; otherwise the text goes to the
    // clipboard and "已复制" shows until the interval after this copy.
    Q_INVOKABLE void copyToPasteboard(const QString& text);

    // How long "已复制" stays; refused (with the error) unless positive.
    std::optional<mcp::MCPError> setTipInterval(std::chrono::milliseconds interval);

Q_SIGNALS:
    void changed();
    void showCopiedTipChanged();

private:
    QString badge_;
    Pasteboard pasteboard_;
    QString content_;
    std::optional<QString> copyLink_;
    std::optional<QString> copyJSON_;
    bool showCopy_ = false;
    bool showCopiedTip_ = false;
    QTimer tipTimer_;
};

}  // namespace lumenary::app::ui
