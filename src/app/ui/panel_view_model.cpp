#include "app/ui/panel_view_model.hpp"

#include "app/ui/core_bridge.hpp"

namespace lumenary::app::ui {

PanelViewModel::PanelViewModel(CoreBridge& bridge, QObject* parent) : QObject(parent), bridge_(bridge) {}

QString PanelViewModel::page() const {
    if (isToolsPageExpanded_) return QStringLiteral("tools");
    if (isSettingsExpanded_) return QStringLiteral("settings");
    if (isCallRecordsExpanded_) return QStringLiteral("records");
    return QStringLiteral("main");
}

QString PanelViewModel::headerTitle() const {
    if (isToolsPageExpanded_) return QStringLiteral("工具列表");
    if (isSettingsExpanded_) return QStringLiteral("设置");
    if (isCallRecordsExpanded_) return QStringLiteral("调用记录");
    return {};
}

QStringList PanelViewModel::expandedCategories() const {
    return expandedCategories_;
}

void PanelViewModel::setPageFlags(bool tools, bool settings, bool records) {
    if (tools == isToolsPageExpanded_ && settings == isSettingsExpanded_ && records == isCallRecordsExpanded_) {
        return;
    }
    isToolsPageExpanded_ = tools;
    isSettingsExpanded_ = settings;
    isCallRecordsExpanded_ = records;
    Q_EMIT pageChanged();
}

void PanelViewModel::openToolsPage() {
    setPageFlags(true, isSettingsExpanded_, isCallRecordsExpanded_);
}

void PanelViewModel::openSettingsPage() {
    setPageFlags(isToolsPageExpanded_, true, isCallRecordsExpanded_);
}

void PanelViewModel::openCallRecords() {
    setPageFlags(isToolsPageExpanded_, isSettingsExpanded_, true);
}

void PanelViewModel::goBack() {
    // Only the flag of the page that shows: the others keep their values.
    if (isToolsPageExpanded_) {
        setPageFlags(false, isSettingsExpanded_, isCallRecordsExpanded_);
    } else if (isSettingsExpanded_) {
        setPageFlags(false, false, isCallRecordsExpanded_);
    } else if (isCallRecordsExpanded_) {
        setPageFlags(false, false, false);
    }
}

void PanelViewModel::togglePermissionsExpanded() {
    isPermissionsExpanded_ = !isPermissionsExpanded_;
    Q_EMIT permissionsExpandedChanged();
}

bool PanelViewModel::isCategoryExpanded(const QString& displayName) const {
    return expandedCategories_.contains(displayName);
}

void PanelViewModel::toggleCategory(const QString& displayName) {
    if (!expandedCategories_.removeOne(displayName)) {
        expandedCategories_.append(displayName);
    }
    Q_EMIT expandedCategoriesChanged();
}

void PanelViewModel::dismissAlert() {
    if (!showingPermissionAlert_) {
        return;
    }
    showingPermissionAlert_ = false;
    Q_EMIT alertChanged();
}

void PanelViewModel::openAlertSettings() {
    dismissAlert();
    bridge_.openSystemSettings(alertCategory_);
}

void PanelViewModel::checkForUpdates() {
    if (checkUpdateAction_) {
        checkUpdateAction_();
    }
}

void PanelViewModel::showPermissionAlert(ToolCategoryKind kind, const PermissionGuidance& guidance) {
    alertCategory_ = toolCategoryPermission(kind);
    const auto name = toolCategoryRow(kind).recordCategory;
    const auto displayName = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    alertTitle_ = QStringLiteral("权限被拒绝");
    // No system prompt has spoken on this desktop, so the message ends with
    // how to grant the permission here.
    alertMessage_ = QStringLiteral("无法开启") + displayName + QStringLiteral("工具，因为缺少必要的系统权限。") +
                    QString::fromStdString(guidance.hint);
    alertCanOpenSettings_ = guidance.settingsLocation.has_value() || guidance.settingsProgram.has_value();
    showingPermissionAlert_ = true;
    Q_EMIT alertChanged();
}

void PanelViewModel::setShowCopySuccess(bool shown) {
    if (shown == showCopySuccess_) {
        return;
    }
    showCopySuccess_ = shown;
    Q_EMIT showCopySuccessChanged();
}

}  // namespace lumenary::app::ui
