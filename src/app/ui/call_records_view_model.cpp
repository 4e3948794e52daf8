#include "app/ui/call_records_view_model.hpp"

#include <algorithm>

#include <QVariantList>
#include <QVariantMap>

#include "app/tools/tool_category_table.hpp"
#include "app/ui/core_bridge.hpp"
#include "app/ui/panel_view_model.hpp"

namespace lumenary::app::ui {

namespace {

// The picture keys of the tools page; a category text the panel does not
// know has none.
QString iconName(const std::string& category) {
    static constexpr std::array<std::pair<std::string_view, const char*>, toolCategoryCount> icons{{
        {"日历", "calendar"},
        {"提醒事项", "reminders"},
        {"通讯录", "contacts"},
        {"信息", "messages"},
        {"邮件", "mail"},
        {"备忘录", "notes"},
        {"音乐", "music"},
        {"地图", "maps"},
        {"macOS Control", "desktop"},
        {"视觉识别", "vision"},
    }};
    for (const auto& [name, icon] : icons) {
        if (category == name) {
            return QString::fromLatin1(icon);
        }
    }
    return {};
}

// Summary ids are fresh on every build; only what the page shows counts.
bool sameSections(const std::vector<CategoryCallSummary>& left, const std::vector<CategoryCallSummary>& right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                      [](const CategoryCallSummary& a, const CategoryCallSummary& b) {
                          return a.category == b.category && a.totalCount == b.totalCount && a.tools == b.tools;
                      });
}

}  // namespace

CallRecordsViewModel::CallRecordsViewModel(CoreBridge& bridge, PanelViewModel& panel, QObject* parent)
    : QAbstractListModel(parent), bridge_(bridge), panel_(panel) {
    connect(&bridge_, &CoreBridge::snapshotChanged, this, &CallRecordsViewModel::refresh);
    connect(&panel_, &PanelViewModel::expandedCategoriesChanged, this, [this] {
        if (!summaries_.empty()) {
            Q_EMIT dataChanged(index(0), index(rowCount() - 1), {IsExpandedRole});
        }
    });
    refresh();
}

int CallRecordsViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(summaries_.size());
}

QVariant CallRecordsViewModel::data(const QModelIndex& modelIndex, int role) const {
    if (!modelIndex.isValid() || modelIndex.row() < 0 || modelIndex.row() >= rowCount()) {
        return {};
    }
    const auto& summary = summaries_[static_cast<std::size_t>(modelIndex.row())];
    switch (role) {
        case CategoryRole: return QString::fromStdString(summary.category);
        case IconNameRole: return iconName(summary.category);
        case TotalCountRole: return static_cast<qint64>(summary.totalCount);
        case ToolCountTextRole: return QString::number(summary.tools.size()) + QStringLiteral(" 个工具");
        case IsExpandedRole: return panel_.isCategoryExpanded(QString::fromStdString(summary.category));
        case ToolsRole: {
            QVariantList rows;
            for (const auto& record : summary.tools) {
                rows.append(QVariantMap{{QStringLiteral("toolName"), QString::fromStdString(record.toolName)},
                                        {QStringLiteral("callCount"), static_cast<qint64>(record.callCount)}});
            }
            return rows;
        }
        default: return {};
    }
}

QHash<int, QByteArray> CallRecordsViewModel::roleNames() const {
    return {{CategoryRole, "category"},         {IconNameRole, "iconName"},     {TotalCountRole, "totalCount"},
            {ToolCountTextRole, "toolCountText"}, {IsExpandedRole, "isExpanded"}, {ToolsRole, "tools"}};
}

void CallRecordsViewModel::toggleExpanded(int row) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    panel_.toggleCategory(QString::fromStdString(summaries_[static_cast<std::size_t>(row)].category));
}

void CallRecordsViewModel::refresh() {
    const auto& summaries = bridge_.snapshot().categorySummaries;
    if (sameSections(summaries, summaries_)) {
        return;
    }
    const bool wasEmpty = summaries_.empty();
    beginResetModel();
    summaries_ = summaries;
    endResetModel();
    if (wasEmpty != summaries_.empty()) {
        Q_EMIT isEmptyChanged();
    }
}

}  // namespace lumenary::app::ui
