#pragma once

#include <functional>

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include "app/permissions/permission_manager.hpp"
#include "app/tools/tool_category_table.hpp"

namespace lumenary::app::ui {

class CoreBridge;

// The panel's own state: which page shows, the unfolded categories that the
// tools page and the records page share, the permission alert and the copy
// toast. UI thread only; nothing here reads the core.
class PanelViewModel : public QObject {
    Q_OBJECT
    // The page that shows, tools before settings before records:
    // "tools", "settings", "records", or "main" when no page flag is set.
    Q_PROPERTY(QString page READ page NOTIFY pageChanged)
    // The back button's title of that page ("工具列表", "设置", "调用记录");
    // empty on the main page, whose header shows the logo and the badge.
    Q_PROPERTY(QString headerTitle READ headerTitle NOTIFY pageChanged)
    // The three page flags; `page` is what the header and page area follow.
    Q_PROPERTY(bool isToolsPageExpanded READ isToolsPageExpanded NOTIFY pageChanged)
    Q_PROPERTY(bool isSettingsExpanded READ isSettingsExpanded NOTIFY pageChanged)
    Q_PROPERTY(bool isCallRecordsExpanded READ isCallRecordsExpanded NOTIFY pageChanged)
    // The permissions section of the settings page is unfolded.
    Q_PROPERTY(bool isPermissionsExpanded READ isPermissionsExpanded NOTIFY permissionsExpandedChanged)
    // Display names of the unfolded categories, shared by the tools page and
    // the records page.
    Q_PROPERTY(QStringList expandedCategories READ expandedCategories NOTIFY expandedCategoriesChanged)
    // The permission alert is shown.
    Q_PROPERTY(bool showingPermissionAlert READ showingPermissionAlert NOTIFY alertChanged)
    // The alert's title ("权限被拒绝") and message (ending with the probe's
    // hint); both stay after the alert closes, until it opens again.
    Q_PROPERTY(QString alertTitle READ alertTitle NOTIFY alertChanged)
    Q_PROPERTY(QString alertMessage READ alertMessage NOTIFY alertChanged)
    // Whether the alert offers "去设置": only when the probe names a folder,
    // URL or settings program to open.
    Q_PROPERTY(bool alertCanOpenSettings READ alertCanOpenSettings NOTIFY alertChanged)
    // The copy toast "复制成功" is shown (drawn above the alert).
    Q_PROPERTY(bool showCopySuccess READ showCopySuccess WRITE setShowCopySuccess NOTIFY showCopySuccessChanged)

public:
    explicit PanelViewModel(CoreBridge& bridge, QObject* parent = nullptr);

    QString page() const;
    QString headerTitle() const;
    bool isToolsPageExpanded() const noexcept { return isToolsPageExpanded_; }
    bool isSettingsExpanded() const noexcept { return isSettingsExpanded_; }
    bool isCallRecordsExpanded() const noexcept { return isCallRecordsExpanded_; }
    bool isPermissionsExpanded() const noexcept { return isPermissionsExpanded_; }
    QStringList expandedCategories() const;
    bool showingPermissionAlert() const noexcept { return showingPermissionAlert_; }
    QString alertTitle() const { return alertTitle_; }
    QString alertMessage() const { return alertMessage_; }
    bool alertCanOpenSettings() const noexcept { return alertCanOpenSettings_; }
    bool showCopySuccess() const noexcept { return showCopySuccess_; }
    void setShowCopySuccess(bool shown);

    // The page openings of the main page ("工具列表", "设置", the call-count tile).
    Q_INVOKABLE void openToolsPage();
    Q_INVOKABLE void openSettingsPage();
    Q_INVOKABLE void openCallRecords();
    // The header's back button: clears the flag of the page that shows.
    Q_INVOKABLE void goBack();
    Q_INVOKABLE void togglePermissionsExpanded();

    Q_INVOKABLE bool isCategoryExpanded(const QString& displayName) const;
    // Unfolds a folded category and folds an unfolded one.
    Q_INVOKABLE void toggleCategory(const QString& displayName);

    // "取消" and a tap on the backdrop.
    Q_INVOKABLE void dismissAlert();
    // "去设置": closes the alert, then opens what the probe named.
    Q_INVOKABLE void openAlertSettings();

    // The settings page's "检查更新" row: runs the check-for-updates action
    // the panel was handed, nothing without one.
    Q_INVOKABLE void checkForUpdates();
    void setCheckUpdateAction(std::function<void()> action) { checkUpdateAction_ = std::move(action); }

    // Opens the alert for the category `kind`, with the probe's guidance for
    // its permission.
    void showPermissionAlert(ToolCategoryKind kind, const PermissionGuidance& guidance);
    PermissionCategory alertCategory() const { return alertCategory_; }

Q_SIGNALS:
    void pageChanged();
    void permissionsExpandedChanged();
    void expandedCategoriesChanged();
    void alertChanged();
    void showCopySuccessChanged();

private:
    void setPageFlags(bool tools, bool settings, bool records);

    CoreBridge& bridge_;
    bool isToolsPageExpanded_ = false;
    bool isSettingsExpanded_ = false;
    bool isCallRecordsExpanded_ = false;
    bool isPermissionsExpanded_ = false;
    QStringList expandedCategories_;
    bool showingPermissionAlert_ = false;
    QString alertTitle_;
    QString alertMessage_;
    bool alertCanOpenSettings_ = false;
    PermissionCategory alertCategory_;
    bool showCopySuccess_ = false;
    std::function<void()> checkUpdateAction_;
};

}  // namespace lumenary::app::ui
