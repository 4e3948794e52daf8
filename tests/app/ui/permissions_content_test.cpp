// The calendar and reminders rows under "权限状态", over fake probes.
#include <gtest/gtest.h>

#include <condition_variable>

#include "app/ui/panel_harness.hpp"

namespace lumenary::app::testing {
namespace {

using Kind = PermissionCategory::Kind;

TEST(PermissionsContent, EachStatusShowsItsTextAndOnlyAnAuthorizedOneHidesTheRequest) {
    struct Case {
        PermissionStatus status;
        const char* text;
        bool requestable;
    };
    const std::vector<Case> cases = {
        {PermissionStatus::granted, "✅ 已授权 (authorized)", false},
        {PermissionStatus::denied, "❌ 已拒绝 (denied)", true},
        {PermissionStatus::notDetermined, "⏳ 未请求 (notDetermined)", true},
    };
    PanelHarness harness;
    auto& content = *harness.settings().permissions();
    for (const Case& calendar : cases) {
        for (const Case& reminders : cases) {
            SCOPED_TRACE(std::string(calendar.text) + " / " + reminders.text);
            harness.permissions->setStatus(Kind::calendar, calendar.status);
            harness.permissions->setStatus(Kind::reminders, reminders.status);

            content.refreshStatuses();
            harness.settleProbes();

            EXPECT_EQ(content.calendarStatus(), QString::fromUtf8(calendar.text));
            EXPECT_EQ(content.reminderStatus(), QString::fromUtf8(reminders.text));
            EXPECT_EQ(content.calendarRequestable(), calendar.requestable);
            EXPECT_EQ(content.reminderRequestable(), reminders.requestable);
        }
    }
}

TEST(PermissionsContent, BeforeTheFirstReadBothRowsOfferTheRequest) {
    PanelHarness harness;
    auto& content = *harness.settings().permissions();
    EXPECT_TRUE(content.calendarStatus().isEmpty());
    EXPECT_TRUE(content.calendarRequestable());
    EXPECT_TRUE(content.reminderRequestable());
}

TEST(PermissionsContent, ARequestDisablesBothButtonsUntilBothStatusesAreReadAgain) {
    struct Case {
        const char* row;
        Kind kind;
    };
    for (const Case& entry : {Case{"calendar", Kind::calendar}, Case{"reminders", Kind::reminders}}) {
        SCOPED_TRACE(entry.row);
        PanelHarness harness;
        auto& content = *harness.settings().permissions();
        harness.permissions->setStatus(Kind::calendar, PermissionStatus::notDetermined);
        harness.permissions->setStatus(Kind::reminders, PermissionStatus::notDetermined);
        content.refreshStatuses();
        harness.settleProbes();
        harness.permissions->holdRequests();

        entry.kind == Kind::calendar ? content.requestCalendarAccess() : content.requestRemindersAccess();
        EXPECT_TRUE(content.isRequesting());
        ASSERT_TRUE(waitUntil([&] { return harness.permissions->heldCount() == 1; }));
        content.requestCalendarAccess();
        content.requestRemindersAccess();
        harness.settleProbes();
        ASSERT_EQ(harness.permissions->requested().size(), 1u) << "a second request while one runs";
        EXPECT_EQ(harness.permissions->requested().front().kind, entry.kind);

        // The user decided meanwhile; the refusal of the request itself shows nothing of its own.
        harness.permissions->setStatus(Kind::calendar, PermissionStatus::granted);
        harness.permissions->setStatus(Kind::reminders, PermissionStatus::denied);
        ASSERT_TRUE(harness.permissions->answerHeld(false));
        ASSERT_TRUE(waitUntil([&] { return !content.isRequesting(); }));

        EXPECT_EQ(content.calendarStatus(), QStringLiteral("✅ 已授权 (authorized)"));
        EXPECT_EQ(content.reminderStatus(), QStringLiteral("❌ 已拒绝 (denied)"));
    }
}

// The calendar's first status read waits until released and then answers
// denied; every later read answers granted at once.
class SlowFirstCalendarRead final : public PermissionManager {
public:
    PermissionStatus status(const PermissionCategory& category) override {
        std::unique_lock lock(mutex_);
        if (category.kind != PermissionCategory::Kind::calendar || calendarReads_++ > 0) {
            return PermissionStatus::granted;
        }
        released_.wait(lock, [this] { return release_; });
        return PermissionStatus::denied;
    }
    asio::awaitable<bool> request(PermissionCategory) override { co_return false; }
    PermissionGuidance guidance(const PermissionCategory&) override { return {}; }
    void openSystemSettings(const PermissionCategory&) override {}

    int calendarReads() {
        std::lock_guard lock(mutex_);
        return calendarReads_;
    }
    void release() {
        std::lock_guard lock(mutex_);
        release_ = true;
        released_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    int calendarReads_ = 0;
    bool release_ = false;
};

TEST(PermissionsContent, AnEarlierReadAnsweringLastNeverOverwritesANewerOne) {
    asio::io_context context;
    asio::thread_pool probes{2};
    const auto permissions = std::make_shared<SlowFirstCalendarRead>();
    {
        ui::CoreBridge bridge({.mainExecutor = context.get_executor(),
                               .blockingExecutor = probes.get_executor(),
                               .manager = nullptr,
                               .tools = nullptr,
                               .permissions = permissions});
        ui::PermissionsContentViewModel content(bridge);

        content.refreshStatuses();
        ASSERT_TRUE(waitUntil([&] { return permissions->calendarReads() == 1; }));
        content.refreshStatuses();
        ASSERT_TRUE(waitUntil([&] { return content.calendarStatus() == QStringLiteral("✅ 已授权 (authorized)"); }));
        permissions->release();
        probes.join();
        QCoreApplication::processEvents();

        EXPECT_EQ(content.calendarStatus(), QStringLiteral("✅ 已授权 (authorized)"));
    }
}

TEST(PermissionsContent, AnAnswerArrivingAfterTheRowsWentIsDropped) {
    PanelHarness harness;
    auto content = std::make_unique<ui::PermissionsContentViewModel>(harness.bridge());
    harness.permissions->holdRequests();
    content->requestCalendarAccess();
    ASSERT_TRUE(waitUntil([&] { return harness.permissions->heldCount() == 1; }));

    content.reset();
    ASSERT_TRUE(harness.permissions->answerHeld(true));
    harness.settleProbes();
    harness.settleProbes();
}

}  // namespace
}  // namespace lumenary::app::testing
