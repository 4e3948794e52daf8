#pragma once

#include <array>
#include <cstdint>

#include <QAbstractListModel>
#include <QHash>
#include <QString>
#include <QVariant>

#include "app/tools/tool_category_table.hpp"

namespace lumenary::app::ui {

class CoreBridge;

// The six tool rows of the onboarding's tool selection page ("日历",
// "提醒事项", "通讯录", "信息", "邮件", "音乐"), each bound to its category's
// switch in the tool service. UI thread only.
//
// Switching off takes effect at once. Switching on first asks: calendar,
// reminders and contacts run their permission request; "信息" opens what
// the messages-database probe names and then probes again, because opening
// a settings folder grants nothing; mail and music need nothing. Only a true
// answer switches on; a false one leaves the row off, and "信息" then shows
// the probe's hint. A row has at most one request pending; switching it off
// drops that request, so a late answer never overrides a newer choice.
//
// The view shows IsEnabledRole (the service's value), never a control's
// own toggled state.
class OnboardingToolRowsViewModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count CONSTANT)

public:
    enum Role {
        TitleRole = Qt::UserRole + 1,
        SubtitleRole,
        // The category picture's key ("calendar", ..., "music").
        IconNameRole,
        IsEnabledRole,
        IsPendingRole,
        // Why the row stayed off, when the probe says; empty otherwise.
        HintRole,
    };

    static constexpr int rowCountOfPage = 6;

    explicit OnboardingToolRowsViewModel(CoreBridge& bridge, QObject* parent = nullptr);

    int count() const noexcept { return rowCountOfPage; }
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // A switch write of the row.
    Q_INVOKABLE void setToolEnabled(int row, bool enabled);

    static ToolCategoryKind kindAt(int row);

private:
    void refresh();
    void answered(int row, std::uint64_t request, bool granted, QString hint);
    void changed(int row, const QList<int>& roles);

    CoreBridge& bridge_;
    std::array<bool, rowCountOfPage> switches_{};
    // The pending request of each row (0: none); a switch-off clears it.
    std::array<std::uint64_t, rowCountOfPage> pending_{};
    std::array<QString, rowCountOfPage> hints_;
    std::uint64_t lastRequest_ = 0;
};

}  // namespace lumenary::app::ui
