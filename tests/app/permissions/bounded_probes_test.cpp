#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/local/stream_protocol.hpp>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/permissions/bounded_probes.hpp"
#include "app/tools/desktop/macos_control_service.hpp"
#include "permission_probe_fixture.hpp"
#include "platform/desktop/accessibility_setting.hpp"
#include "platform/desktop/atspi_accessibility.hpp"
#include "platform/desktop/xtest_input_events.hpp"
#include "support/run_awaitable.hpp"
#include "support/scoped_environment.hpp"

namespace lumenary::app {
namespace {

using std::chrono::steady_clock;
using testing::Gate;
using testing::PermissionProbeFixture;
using testing::Shape;
using Kind = PermissionCategory::Kind;

// Well past the bound, well short of the five seconds a gate holds.
constexpr auto answeredInTime = PermissionProbeFixture::bound + std::chrono::milliseconds(1'500);

struct HangingCase {
    std::string what;
    // The fixture made to hang; answers the gate the test opens at its end.
    std::function<std::shared_ptr<Gate>(PermissionProbeFixture&)> hang;
    // Asks, and checks the answer given up at the bound.
    std::function<void(PermissionManager&)> askAndCheck;
    std::optional<std::string> line;
};

std::shared_ptr<Gate> hangFolderChecks(PermissionProbeFixture& fixture) {
    fixture.place(fixture.calendarFolder, Shape::present);
    fixture.place(fixture.reminderFolder, Shape::present);
    fixture.place(fixture.contactsFolder, Shape::present);
    fixture.folderCheckGate = std::make_shared<Gate>();
    return fixture.folderCheckGate;
}

std::shared_ptr<Gate> hangAccessibilityBus(PermissionProbeFixture& fixture) {
    fixture.busGate = std::make_shared<Gate>();
    return fixture.busGate;
}

TEST(BoundedProbes, ProbesThatAnsweredInTimeDoNotHoldTheDestructorForTheRestOfTheBound) {
    // Held for the bound, the destructor would outlast the test's time.
    auto probes = std::make_unique<BoundedProbes>(std::chrono::hours(24));
    EXPECT_EQ(testing::runAwaitable(probes->awaitBlocking([] { return 7; })), 7);
    EXPECT_EQ(testing::runAwaitable(probes->awaitBlocking([] { return 8; })), 8);
    probes.reset();
}

TEST(ProbePermissionManager, AProbeThatDoesNotAnswerIsGivenUpAtTheBound) {
    const std::vector<HangingCase> cases{
        {"calendar status", hangFolderChecks,
         [](PermissionManager& manager) {
             EXPECT_EQ(manager.status(PermissionCategory::of(Kind::calendar)), PermissionStatus::denied);
         },
         std::nullopt},
        {"contacts status", hangFolderChecks,
         [](PermissionManager& manager) {
             EXPECT_EQ(manager.status(PermissionCategory::of(Kind::contacts)), PermissionStatus::denied);
         },
         std::nullopt},
        {"accessibility status", hangAccessibilityBus,
         [](PermissionManager& manager) {
             EXPECT_EQ(manager.status(PermissionCategory::of(Kind::accessibility)), PermissionStatus::notDetermined);
         },
         std::nullopt},
        {"reminders request", hangFolderChecks,
         [](PermissionManager& manager) {
             EXPECT_FALSE(testing::runAwaitable(manager.request(PermissionCategory::of(Kind::reminders))));
         },
         "Error requesting reminders access: the reminders folder "},
        {"contacts request", hangFolderChecks,
         [](PermissionManager& manager) {
             EXPECT_FALSE(testing::runAwaitable(manager.request(PermissionCategory::of(Kind::contacts))));
         },
         "Error requesting contacts access: the contacts folder "},
        {"accessibility request", hangAccessibilityBus,
         [](PermissionManager& manager) {
             EXPECT_FALSE(testing::runAwaitable(manager.request(PermissionCategory::of(Kind::accessibility))));
         },
         std::nullopt},
    };
    for (const auto& [what, hang, askAndCheck, line] : cases) {
        SCOPED_TRACE(what);
        PermissionProbeFixture fixture;
        const auto gate = hang(fixture);
        auto manager = fixture.manager();
        const auto started = steady_clock::now();
        askAndCheck(*manager);
        EXPECT_LT(steady_clock::now() - started, answeredInTime);
        const auto lines = fixture.lines();
        EXPECT_EQ(lines.size(), line ? 1U : 0U);
        if (line && !lines.empty()) {
            EXPECT_TRUE(lines.front().starts_with(*line)) << lines.front();
            EXPECT_TRUE(lines.front().ends_with(" did not answer within 200 ms")) << lines.front();
        }
        gate->open();
    }
}

TEST(ProbePermissionManager, AMessagesDatabaseHeldLockedCountsAsDeniedAtTheBound) {
    PermissionProbeFixture fixture;
    fixture.place(fixture.database, Shape::present);
    fixture.databaseFile->execute("BEGIN EXCLUSIVE; INSERT INTO handle (id) VALUES ('+1');");
    auto manager = fixture.manager();
    const auto started = steady_clock::now();
    EXPECT_EQ(manager->status(PermissionCategory::of(Kind::fullDiskAccess)), PermissionStatus::denied);
    EXPECT_LT(steady_clock::now() - started, answeredInTime);
    fixture.databaseFile->execute("COMMIT;");
}

// The real desktop layers against a session bus that accepts connections
// and never says a word.
TEST(ProbePermissionManager, ASessionBusThatNeverAnswersDoesNotHoldTheDesktopProbesPastTheBound) {
    PermissionProbeFixture fixture;
    asio::io_context context;
    const auto socket = fixture.root.path() / "silent-bus";
    asio::local::stream_protocol::acceptor silentBus(context, asio::local::stream_protocol::endpoint(socket.string()));
    testing::ScopedEnvironment environment;
    environment.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + socket.string());
    environment.set("AT_SPI_BUS_ADDRESS", std::nullopt);
    environment.set("DISPLAY", std::nullopt);
    environment.set("WAYLAND_DISPLAY", std::nullopt);
    fixture.desktop = std::make_shared<MacOSControlService>(platform::makeAtspiAccessibility(),
                                                            platform::makeXTestInputEvents(), ::getpid());
    fixture.accessibilitySetting = [] { return platform::desktopAccessibilityEnabled(); };
    auto manager = fixture.manager();
    const auto category = PermissionCategory::of(Kind::accessibility);

    auto started = steady_clock::now();
    EXPECT_EQ(manager->status(category), PermissionStatus::notDetermined);
    EXPECT_LT(steady_clock::now() - started, answeredInTime);
    started = steady_clock::now();
    const auto guidance = manager->guidance(category);
    EXPECT_LT(steady_clock::now() - started, answeredInTime);
    EXPECT_EQ(guidance.hint.find("Qt 程序"), std::string::npos);
    EXPECT_FALSE(guidance.settingsProgram);

    // Closing the bus resets the connections it never accepted, so the
    // probes still waiting end now rather than at libdbus's own time-out.
    silentBus.close();
}

}  // namespace
}  // namespace lumenary::app
