#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include <QAbstractListModel>
#include <QHash>
#include <QVariant>

#include "app/tools/tool_category_table.hpp"
#include "app/ui/panel_snapshot.hpp"

namespace lumenary::app::ui {

class CoreBridge;
class PanelViewModel;

// The tools page: the ten categories in the panel's order, each with its
// whole tool list, its switch, and the permission gate in front of
// switching on. UI thread only.
//
// The gate: the category's permission status is probed off the UI thread;
// granted switches on, denied opens the alert with the probe's hint, not
// determined asks, and only a true answer switches on (a false one opens
// the alert too: no system prompt has spoken here). A category has at most
// one gate pending; switching it off drops that gate, so a late answer
// never turns the category back on.
//
// The view shows IsEnabledRole, never a control's own toggled state: while a
// gate is pending, or after a refusal, the switch reads off.
class ToolCategoriesViewModel : public QAbstractListModel {
    Q_OBJECT
    // Always ten.
    Q_PROPERTY(int count READ count CONSTANT)

public:
    enum Role {
        // The category's display name ("日历" ... "视觉识别").
        DisplayNameRole = Qt::UserRole + 1,
        // The key of the category's picture: "calendar", "reminders",
        // "contacts", "messages", "mail", "notes", "music", "maps",
        // "desktop", "vision".
        IconNameRole,
        // The length of the category's whole list, whatever its switch.
        ToolCountRole,
        // "N 个工具".
        ToolCountTextRole,
        // The switch as the tool service holds it.
        IsEnabledRole,
        // A switch-on waits for the permission probe or request.
        IsPendingRole,
        // The category is unfolded (in the panel's expandedCategories).
        IsExpandedRole,
        // The tool lines: a list of {"name", "displayDescription"} maps.
        ToolsRole,
    };

    ToolCategoriesViewModel(CoreBridge& bridge, PanelViewModel& panel, QObject* parent = nullptr);

    int count() const noexcept { return static_cast<int>(toolCategoryCount); }
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // A switch write: off at once; on through the gate.
    Q_INVOKABLE void setCategoryEnabled(int row, bool enabled);
    // The row header's action: folds or unfolds the category.
    Q_INVOKABLE void toggleExpanded(int row);

    // The panel's order of the ten categories.
    static ToolCategoryKind kindAt(int row);
    static int rowOf(ToolCategoryKind kind);

private:
    void refresh();
    void gateAnswered(ToolCategoryKind kind, std::uint64_t gate, bool granted);

    CoreBridge& bridge_;
    PanelViewModel& panel_;
    std::array<bool, toolCategoryCount> switches_{};
    std::shared_ptr<const CategoryToolLists> lists_;
    // The pending gate of each category (0: none); a switch-off clears it.
    std::array<std::uint64_t, toolCategoryCount> pendingGates_{};
    std::uint64_t lastGate_ = 0;
};

}  // namespace lumenary::app::ui
