// The bridge: snapshots are coalesced, and the UI side may go while the
// core keeps changing.
#include <gtest/gtest.h>

#include "app/ui/panel_harness.hpp"

namespace lumenary::app::testing {
namespace {

asio::awaitable<void> callMany(std::shared_ptr<LocalToolService> tools, int count) {
    for (int call = 0; call < count; ++call) {
        co_await tools->callTool("tool_0_0", {});
    }
}

TEST(CoreBridge, AStreamOfCallsGivesTheUIOneUpdateAtATime) {
    PanelHarness harness;
    harness.onCore([&harness] { harness.tools->setCalendarEnabled(true); });
    harness.settleCore();
    int updates = 0;
    QObject::connect(&harness.bridge(), &ui::CoreBridge::snapshotChanged, [&updates] { ++updates; });

    // The UI thread takes no events while the core makes 2000 calls.
    constexpr int calls = 2000;
    std::promise<void> done;
    harness.onCore([&harness, &done] {
        asio::co_spawn(harness.strand, callMany(harness.tools, calls),
                       [&done](std::exception_ptr) { done.set_value(); });
    });
    done.get_future().wait();

    ASSERT_TRUE(waitUntil([&] { return harness.card().toolCallCount() == calls; }));
    // One snapshot was on its way while the calls ran, one more carries the end.
    EXPECT_LE(updates, 2);
}

TEST(CoreBridge, TheUISideMayGoWhileTheCoreKeepsChanging) {
    PanelHarness harness;
    harness.onCore([&harness] { harness.tools->setCalendarEnabled(true); });
    std::promise<void> done;
    harness.onCore([&harness, &done] {
        asio::co_spawn(harness.strand, callMany(harness.tools, 500), [&done](std::exception_ptr) { done.set_value(); });
    });
    harness.models.reset();
    done.get_future().wait();
    QCoreApplication::processEvents();
    EXPECT_EQ(harness.onCore([&harness] { return harness.tools->toolCallCount(); }), 500);
}

}  // namespace
}  // namespace lumenary::app::testing
