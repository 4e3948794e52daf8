#pragma once

#include <vector>

#include <QAbstractListModel>
#include <QHash>
#include <QVariant>

#include "app/tools/tool_call_record.hpp"

namespace lumenary::app::ui {

class CoreBridge;
class PanelViewModel;

// The records page: one section per record category in the order the tool
// service's summaries give (highest total first, ties in the order met),
// each section's tools with more calls first. UI thread only.
class CallRecordsViewModel : public QAbstractListModel {
    Q_OBJECT
    // No records at all: the page shows "暂无调用记录" and nothing else.
    Q_PROPERTY(bool isEmpty READ isEmpty NOTIFY isEmptyChanged)

public:
    enum Role {
        // The record category (a display name such as "日历", or any text
        // the stored records hold).
        CategoryRole = Qt::UserRole + 1,
        // The picture key as on the tools page; empty for a category the
        // panel does not know (the view shows a wrench).
        IconNameRole,
        // The sum of the section's call counts (the pill).
        TotalCountRole,
        // "N 个工具": how many distinct tools of the category were called.
        ToolCountTextRole,
        // The section is unfolded (in the panel's expandedCategories).
        IsExpandedRole,
        // The record rows: a list of {"toolName", "callCount"} maps.
        ToolsRole,
    };

    CallRecordsViewModel(CoreBridge& bridge, PanelViewModel& panel, QObject* parent = nullptr);

    bool isEmpty() const noexcept { return summaries_.empty(); }
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The section header's action.
    Q_INVOKABLE void toggleExpanded(int row);

Q_SIGNALS:
    void isEmptyChanged();

private:
    void refresh();

    CoreBridge& bridge_;
    PanelViewModel& panel_;
    std::vector<CategoryCallSummary> summaries_;
};

}  // namespace lumenary::app::ui
