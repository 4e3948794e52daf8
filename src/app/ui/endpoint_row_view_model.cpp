#include "app/ui/endpoint_row_view_model.hpp"

#include <string>

#include <QClipboard>
#include <QGuiApplication>

namespace lumenary::app::ui {

EndpointRowViewModel::EndpointRowViewModel(QString badge, Pasteboard pasteboard, QObject* parent)
    : QObject(parent), badge_(std::move(badge)), pasteboard_(std::move(pasteboard)) {
    if (!pasteboard_) {
        pasteboard_ = [](const QString& text) { QGuiApplication::clipboard()->setText(text); };
    }
    tipTimer_.setSingleShot(true);
    // A coarse timer may fire a twentieth early; the tip must stay its time.
    tipTimer_.setTimerType(Qt::PreciseTimer);
    tipTimer_.setInterval(defaultTipInterval);
    connect(&tipTimer_, &QTimer::timeout, this, [this] {
        showCopiedTip_ = false;
        Q_EMIT showCopiedTipChanged();
    });
}

void EndpointRowViewModel::update(QString content, std::optional<QString> copyLink, std::optional<QString> copyJSON,
                                  bool showCopy) {
    if (content == content_ && copyLink == copyLink_ && copyJSON == copyJSON_ && showCopy == showCopy_) {
        return;
    }
    content_ = std::move(content);
    copyLink_ = std::move(copyLink);
    copyJSON_ = std::move(copyJSON);
    showCopy_ = showCopy;
    Q_EMIT changed();
}

void EndpointRowViewModel::copyLink() {
    if (copyLink_) {
        copyToPasteboard(*copyLink_);
    }
}

void EndpointRowViewModel::copyJSON() {
    if (copyJSON_) {
        copyToPasteboard(*copyJSON_);
    }
}

void EndpointRowViewModel::copyToPasteboard(const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    pasteboard_(text);
    // A restart: the tip stays for the whole interval after the latest copy.
    tipTimer_.start();
    if (!showCopiedTip_) {
        showCopiedTip_ = true;
        Q_EMIT showCopiedTipChanged();
    }
}

std::optional<mcp::MCPError> EndpointRowViewModel::setTipInterval(std::chrono::milliseconds interval) {
    if (interval.count() <= 0) {
        return mcp::MCPError::invalidParams("the copy tip interval must be positive, not " +
                                            std::to_string(interval.count()) + " ms");
    }
    tipTimer_.setInterval(interval);
    return std::nullopt;
}

}  // namespace lumenary::app::ui
