#include "app/ui/tool_categories_view_model.hpp"

#include <QPointer>
#include <QVariantList>
#include <QVariantMap>

#include "app/ui/category_icon_name.hpp"
#include "app/ui/core_bridge.hpp"
#include "app/ui/panel_view_model.hpp"

namespace lumenary::app::ui {

namespace {

QString displayName(ToolCategoryKind kind) {
    const auto name = toolCategoryRow(kind).recordCategory;
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

std::size_t slot(ToolCategoryKind kind) {
    return static_cast<std::size_t>(kind);
}

}  // namespace

ToolCategoriesViewModel::ToolCategoriesViewModel(CoreBridge& bridge, PanelViewModel& panel, QObject* parent)
    : QAbstractListModel(parent), bridge_(bridge), panel_(panel) {
    connect(&bridge_, &CoreBridge::snapshotChanged, this, &ToolCategoriesViewModel::refresh);
    connect(&panel_, &PanelViewModel::expandedCategoriesChanged, this, [this] {
        Q_EMIT dataChanged(index(0), index(count() - 1), {IsExpandedRole});
    });
    switches_ = bridge_.snapshot().switches;
}

ToolCategoryKind ToolCategoriesViewModel::kindAt(int row) {
    return toolCategoryListOrder.at(static_cast<std::size_t>(row));
}

int ToolCategoriesViewModel::rowOf(ToolCategoryKind kind) {
    for (std::size_t row = 0; row < toolCategoryListOrder.size(); ++row) {
        if (toolCategoryListOrder[row] == kind) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

int ToolCategoriesViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant ToolCategoriesViewModel::data(const QModelIndex& modelIndex, int role) const {
    if (!modelIndex.isValid() || modelIndex.row() < 0 || modelIndex.row() >= count()) {
        return {};
    }
    const auto kind = kindAt(modelIndex.row());
    const auto& tools = (*bridge_.snapshot().categoryTools)[slot(kind)];
    switch (role) {
        case DisplayNameRole: return displayName(kind);
        case IconNameRole: return categoryIconName(kind);
        case ToolCountRole: return static_cast<int>(tools.size());
        case ToolCountTextRole: return QString::number(tools.size()) + QStringLiteral(" 个工具");
        case IsEnabledRole: return switches_[slot(kind)];
        case IsPendingRole: return pendingGates_[slot(kind)] != 0;
        case IsExpandedRole: return panel_.isCategoryExpanded(displayName(kind));
        case ToolsRole: {
            QVariantList lines;
            for (const auto& tool : tools) {
                lines.append(QVariantMap{{QStringLiteral("name"), QString::fromStdString(tool.name)},
                                         {QStringLiteral("displayDescription"),
                                          QString::fromStdString(tool.displayDescription)}});
            }
            return lines;
        }
        default: return {};
    }
}

QHash<int, QByteArray> ToolCategoriesViewModel::roleNames() const {
    return {{DisplayNameRole, "displayName"}, {IconNameRole, "iconName"},   {ToolCountRole, "toolCount"},
            {ToolCountTextRole, "toolCountText"}, {IsEnabledRole, "isEnabled"}, {IsPendingRole, "isPending"},
            {IsExpandedRole, "isExpanded"},     {ToolsRole, "tools"}};
}

void ToolCategoriesViewModel::setCategoryEnabled(int row, bool enabled) {
    if (row < 0 || row >= count()) {
        return;
    }
    const auto kind = kindAt(row);
    const auto modelIndex = index(row);
    if (!enabled) {
        pendingGates_[slot(kind)] = 0;
        bridge_.setCategoryEnabled(kind, false);
        // The view shows the service's value, so a control that was toggled
        // on while a gate was pending reads it again.
        Q_EMIT dataChanged(modelIndex, modelIndex, {IsEnabledRole, IsPendingRole});
        return;
    }
    Q_EMIT dataChanged(modelIndex, modelIndex, {IsEnabledRole});
    if (pendingGates_[slot(kind)] != 0) {
        return;
    }
    const auto gate = ++lastGate_;
    pendingGates_[slot(kind)] = gate;
    Q_EMIT dataChanged(modelIndex, modelIndex, {IsPendingRole});

    const auto category = toolCategoryPermission(kind);
    QPointer<ToolCategoriesViewModel> self(this);
    bridge_.permissionStatus(category, [self, kind, gate, category](PermissionStatus status,
                                                                    PermissionGuidance guidance) {
        if (!self || self->pendingGates_[slot(kind)] != gate) {
            return;
        }
        switch (status) {
            case PermissionStatus::granted:
                self->gateAnswered(kind, gate, true);
                return;
            case PermissionStatus::denied:
                self->gateAnswered(kind, gate, false);
                self->panel_.showPermissionAlert(kind, guidance);
                return;
            case PermissionStatus::notDetermined:
                self->bridge_.requestPermission(category, [self, kind, gate](bool granted,
                                                                             PermissionGuidance refusal) {
                    if (!self || self->pendingGates_[slot(kind)] != gate) {
                        return;
                    }
                    self->gateAnswered(kind, gate, granted);
                    if (!granted) {
                        self->panel_.showPermissionAlert(kind, refusal);
                    }
                });
                return;
        }
    });
}

void ToolCategoriesViewModel::gateAnswered(ToolCategoryKind kind, std::uint64_t gate, bool granted) {
    if (pendingGates_[slot(kind)] != gate) {
        return;
    }
    pendingGates_[slot(kind)] = 0;
    if (granted) {
        bridge_.setCategoryEnabled(kind, true);
    }
    const auto modelIndex = index(rowOf(kind));
    Q_EMIT dataChanged(modelIndex, modelIndex, {IsEnabledRole, IsPendingRole});
}

void ToolCategoriesViewModel::toggleExpanded(int row) {
    if (row < 0 || row >= count()) {
        return;
    }
    panel_.toggleCategory(displayName(kindAt(row)));
}

void ToolCategoriesViewModel::refresh() {
    const auto& snapshot = bridge_.snapshot();
    const bool listsArrived = snapshot.categoryTools != lists_;
    lists_ = snapshot.categoryTools;
    for (int row = 0; row < count(); ++row) {
        const auto kind = kindAt(row);
        const bool switched = snapshot.switches[slot(kind)] != switches_[slot(kind)];
        switches_[slot(kind)] = snapshot.switches[slot(kind)];
        if (listsArrived) {
            Q_EMIT dataChanged(index(row), index(row));
        } else if (switched) {
            Q_EMIT dataChanged(index(row), index(row), {IsEnabledRole});
        }
    }
}

}  // namespace lumenary::app::ui
