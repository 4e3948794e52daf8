// The records page: empty state, section order, counts.
#include <gtest/gtest.h>

#include "app/ui/panel_harness.hpp"

namespace lumenary::app::testing {
namespace {

using ui::CallRecordsViewModel;

ToolCallRecord record(std::string tool, std::string category, std::int64_t calls) {
    return {.id = tool, .toolName = std::move(tool), .category = std::move(category), .callCount = calls};
}

TEST(CallRecords, NoRecordsIsTheEmptyPage) {
    PanelHarness harness;
    EXPECT_TRUE(harness.records().isEmpty());
    EXPECT_EQ(harness.records().rowCount(), 0);
}

TEST(CallRecords, SectionsFollowTheServiceOrderWithTheirToolsByCalls) {
    PanelHarness harness;
    harness.onCore([&harness] {
        harness.tools->setToolCallRecords({record("get_events", "日历", 2), record("music_play", "音乐", 5),
                                           record("search_events", "日历", 4), record("odd_tool", "别处", 1)});
    });
    harness.settleCore();
    auto& records = harness.records();
    ASSERT_FALSE(records.isEmpty());
    ASSERT_EQ(records.rowCount(), 3);

    const auto at = [&records](int row, int role) { return records.data(records.index(row), role); };
    // Totals 6, 5, 1: the calendar first, though music has the busiest tool.
    EXPECT_EQ(at(0, CallRecordsViewModel::CategoryRole).toString(), QStringLiteral("日历"));
    EXPECT_EQ(at(0, CallRecordsViewModel::TotalCountRole).toLongLong(), 6);
    EXPECT_EQ(at(0, CallRecordsViewModel::ToolCountTextRole).toString(), QStringLiteral("2 个工具"));
    const auto calendarTools = at(0, CallRecordsViewModel::ToolsRole).toList();
    ASSERT_EQ(calendarTools.size(), 2);
    EXPECT_EQ(calendarTools[0].toMap().value("toolName").toString(), QStringLiteral("search_events"));
    EXPECT_EQ(calendarTools[1].toMap().value("callCount").toLongLong(), 2);
    EXPECT_EQ(at(1, CallRecordsViewModel::CategoryRole).toString(), QStringLiteral("音乐"));
    EXPECT_EQ(at(1, CallRecordsViewModel::IconNameRole).toString(), QStringLiteral("music"));
    // A category the panel does not know has no picture: the view shows a wrench.
    EXPECT_EQ(at(2, CallRecordsViewModel::CategoryRole).toString(), QStringLiteral("别处"));
    EXPECT_TRUE(at(2, CallRecordsViewModel::IconNameRole).toString().isEmpty());
}

TEST(CallRecords, ACallMadeWhileThePageIsOpenShowsAtOnce) {
    PanelHarness harness;
    harness.onCore([&harness] { harness.tools->setCalendarEnabled(true); });
    harness.onCore([&harness] {
        asio::co_spawn(harness.strand, harness.tools->callTool("tool_0_1", {}), asio::detached);
    });
    ASSERT_TRUE(waitUntil([&] { return harness.records().rowCount() == 1; }));
    EXPECT_EQ(harness.records().data(harness.records().index(0), CallRecordsViewModel::CategoryRole).toString(),
              QStringLiteral("日历"));
}

}  // namespace
}  // namespace lumenary::app::testing
