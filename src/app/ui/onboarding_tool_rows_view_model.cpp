#include "app/ui/onboarding_tool_rows_view_model.hpp"

#include <QPointer>

#include "app/ui/category_icon_name.hpp"
#include "app/ui/core_bridge.hpp"

namespace lumenary::app::ui {

namespace {

using Kind = PermissionCategory::Kind;

enum class Request {
    // The permission manager's request for `permission`.
    permission,
    // Open what the messages-database probe names, then probe it.
    fullDiskAccess,
    none,
};

struct ToolRow {
    const char* title;
    const char* subtitle;
    ToolCategoryKind kind;
    Request request;
    Kind permission;
};

constexpr std::array<ToolRow, OnboardingToolRowsViewModel::rowCountOfPage> rows{{
    {"日历", "允许 AI 读取和创建您的日程", ToolCategoryKind::calendar, Request::permission, Kind::calendar},
    {"提醒事项", "允许 AI 查看和管理您的待办", ToolCategoryKind::reminders, Request::permission, Kind::reminders},
    {"通讯录", "允许 AI 查找您的联系信息", ToolCategoryKind::contacts, Request::permission, Kind::contacts},
    {"信息", "允许 AI 读取和发送 iMessage", ToolCategoryKind::messages, Request::fullDiskAccess, Kind::fullDiskAccess},
    {"邮件", "允许 AI 读取和发送邮件", ToolCategoryKind::mail, Request::none, Kind::none},
    {"音乐", "允许 AI 控制音乐播放", ToolCategoryKind::music, Request::none, Kind::none},
}};

std::size_t slot(int row) {
    return static_cast<std::size_t>(row);
}

}  // namespace

OnboardingToolRowsViewModel::OnboardingToolRowsViewModel(CoreBridge& bridge, QObject* parent)
    : QAbstractListModel(parent), bridge_(bridge) {
    connect(&bridge_, &CoreBridge::snapshotChanged, this, &OnboardingToolRowsViewModel::refresh);
    for (int row = 0; row < count(); ++row) {
        switches_[slot(row)] = bridge_.snapshot().switches[static_cast<std::size_t>(kindAt(row))];
    }
}

ToolCategoryKind OnboardingToolRowsViewModel::kindAt(int row) {
    return rows.at(slot(row)).kind;
}

int OnboardingToolRowsViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant OnboardingToolRowsViewModel::data(const QModelIndex& modelIndex, int role) const {
    if (!modelIndex.isValid() || modelIndex.row() < 0 || modelIndex.row() >= count()) {
        return {};
    }
    const int row = modelIndex.row();
    const auto& entry = rows[slot(row)];
    switch (role) {
        case TitleRole: return QString::fromUtf8(entry.title);
        case SubtitleRole: return QString::fromUtf8(entry.subtitle);
        case IconNameRole: return categoryIconName(entry.kind);
        case IsEnabledRole: return switches_[slot(row)];
        case IsPendingRole: return pending_[slot(row)] != 0;
        case HintRole: return hints_[slot(row)];
        default: return {};
    }
}

QHash<int, QByteArray> OnboardingToolRowsViewModel::roleNames() const {
    return {{TitleRole, "title"},         {SubtitleRole, "subtitle"},   {IconNameRole, "iconName"},
            {IsEnabledRole, "isEnabled"}, {IsPendingRole, "isPending"}, {HintRole, "hint"}};
}

void OnboardingToolRowsViewModel::setToolEnabled(int row, bool enabled) {
    if (row < 0 || row >= count()) {
        return;
    }
    const auto& entry = rows[slot(row)];
    if (!enabled) {
        pending_[slot(row)] = 0;
        hints_[slot(row)].clear();
        bridge_.setCategoryEnabled(entry.kind, false);
        changed(row, {IsEnabledRole, IsPendingRole, HintRole});
        return;
    }
    // A control toggled on reads the service's value again.
    changed(row, {IsEnabledRole});
    if (entry.request == Request::none) {
        bridge_.setCategoryEnabled(entry.kind, true);
        return;
    }
    if (pending_[slot(row)] != 0) {
        return;
    }
    const auto request = ++lastRequest_;
    pending_[slot(row)] = request;
    hints_[slot(row)].clear();
    changed(row, {IsPendingRole, HintRole});

    QPointer<OnboardingToolRowsViewModel> self(this);
    const auto category = PermissionCategory::of(entry.permission);
    if (entry.request == Request::permission) {
        bridge_.requestPermission(category, [self, row, request](bool granted, const PermissionGuidance&) {
            if (self) {
                self->answered(row, request, granted, {});
            }
        });
        return;
    }
    bridge_.openSystemSettings(category);
    bridge_.permissionStatus(category, [self, row, request](PermissionStatus status,
                                                            const PermissionGuidance& guidance) {
        if (self) {
            self->answered(row, request, status == PermissionStatus::granted, QString::fromStdString(guidance.hint));
        }
    });
}

void OnboardingToolRowsViewModel::answered(int row, std::uint64_t request, bool granted, QString hint) {
    if (pending_[slot(row)] != request) {
        return;
    }
    pending_[slot(row)] = 0;
    if (granted) {
        bridge_.setCategoryEnabled(rows[slot(row)].kind, true);
    } else {
        hints_[slot(row)] = std::move(hint);
    }
    changed(row, {IsEnabledRole, IsPendingRole, HintRole});
}

void OnboardingToolRowsViewModel::changed(int row, const QList<int>& roles) {
    const auto modelIndex = index(row);
    Q_EMIT dataChanged(modelIndex, modelIndex, roles);
}

void OnboardingToolRowsViewModel::refresh() {
    const auto& snapshot = bridge_.snapshot();
    for (int row = 0; row < count(); ++row) {
        const bool value = snapshot.switches[static_cast<std::size_t>(kindAt(row))];
        if (value != switches_[slot(row)]) {
            switches_[slot(row)] = value;
            changed(row, {IsEnabledRole});
        }
    }
}

}  // namespace lumenary::app::ui
