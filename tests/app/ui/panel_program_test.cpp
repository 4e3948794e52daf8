// The real program with and without a display: headless service without
// one, the tray icon when a tray host answers on the session bus, an
// ordinary window when none does, and headless service again when its
// panel module cannot be opened.
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>

#include "app/ui/panel_harness.hpp"
#include "app/ui/program_checks.hpp"
#include "app/ui/stand_in_status_notifier_watcher.hpp"
#include "app/ui/x_clicks.hpp"
#include "app/ui/x_windows.hpp"
#include "mcp/core/json.hpp"
#include "support/child_process.hpp"
#include "support/desktop_session.hpp"
#include "support/raw_connection.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"
#include "support/thread_wakeups.hpp"

namespace lumenary::app::testing {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::ChildProcess;
using lumenary::testing::DesktopSession;
using lumenary::testing::ScopedEnvironment;
using lumenary::testing::TemporaryDirectory;

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 20s) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The Boolean stored under `key` in the defaults file, when one is.
std::optional<bool> storedBoolean(const std::filesystem::path& folder, std::string_view key) {
    const std::string text = readFile(folder / "defaults.json");
    try {
        const auto defaults = mcp::parseJSON(text);
        const auto* value = defaults.find(key);
        return value ? value->boolValue() : std::nullopt;
    } catch (const std::exception&) {
        // Not yet written whole: the writer replaces the file atomically,
        // so this is only the moment before the first write.
        return std::nullopt;
    }
}

// Under AddressSanitizer: libxkbcommon hands strndup a buffer without a
// terminating NUL, which strndup allows and the strict string check calls an
// overflow. And LeakSanitizer's check at exit stops every thread of the
// program; on a loaded machine its tracer now and then crashes on one of
// Qt's threads as it ends, failing a run that leaked nothing. The panel's
// own code is leak-checked in process by the UI tests.
constexpr const char* programSanitizerOptions = ":strict_string_checks=0:detect_leaks=0";

// The program on a free port with a configuration folder of its own,
// started with the environment as the test has set it.
class ProgramUnderTest {
public:
    ProgramUnderTest() {
        std::ofstream(folder.path() / "defaults.json") << R"({"mcp_server_port":)" << port << "}";
        environment.set("LUMENARY_CONFIG_DIR", folder.path().string());
        environment.set("XDG_DATA_HOME", (folder.path() / "data").string());
        environment.set("LUMENARY_NO_PANEL", std::nullopt);
        if (const char* options = std::getenv("ASAN_OPTIONS")) {
            environment.set("ASAN_OPTIONS", std::string(options) + programSanitizerOptions);
        }
    }

    void start(const std::string& executable = lumenary::testing::siblingProgram("lumenary")) {
        program = std::make_unique<ChildProcess>(std::vector<std::string>{executable}, -1, errorPath().string());
    }

    std::filesystem::path errorPath() const { return folder.path() / "program.err"; }
    std::string errors() const { return readFile(errorPath()); }

    // SIGTERM, then the exit status.
    std::optional<int> stop() {
        program->signal(SIGTERM);
        return program->waitForExit(20s);
    }

    TemporaryDirectory folder;
    ScopedEnvironment environment;
    std::uint16_t port = freeLoopbackPort();
    std::unique_ptr<ChildProcess> program;
};

TEST(PanelProgram, WithoutADisplayItServesHeadlessAndEndsCleanlyOnSIGTERM) {
    // Unset, and naming a display nobody serves.
    for (const auto& display : {std::optional<std::string>(), std::optional<std::string>(":193")}) {
        ProgramUnderTest given;
        given.environment.set("DISPLAY", display);
        given.environment.set("WAYLAND_DISPLAY", std::nullopt);
        given.start();

        ASSERT_TRUE(eventually([&] { return serves(given.port); })) << given.errors();
        const auto status = given.stop();
        ASSERT_TRUE(status.has_value()) << given.errors();
        EXPECT_EQ(*status, 0) << given.errors();
        const auto errors = given.errors();
        EXPECT_NE(errors.find("Running without the panel: "), std::string::npos) << errors;
    }
}

class PanelTrayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        auto started = DesktopSession::start();
        if (auto* reason = std::get_if<std::string>(&started)) {
            skipReason_ = new std::string("no private desktop for the tray tests: " + *reason);
            return;
        }
        session_ = std::get<std::unique_ptr<DesktopSession>>(std::move(started)).release();
    }
    static void TearDownTestSuite() {
        delete session_;
        session_ = nullptr;
        delete skipReason_;
        skipReason_ = nullptr;
    }

    void SetUp() override {
        if (skipReason_) GTEST_SKIP() << *skipReason_;
    }

    static DesktopSession* session_;
    static std::string* skipReason_;
};

DesktopSession* PanelTrayTest::session_ = nullptr;
std::string* PanelTrayTest::skipReason_ = nullptr;

TEST_F(PanelTrayTest, WithoutATrayHostThePanelIsAnOrdinaryWindow) {
    ProgramUnderTest given;
    given.start();
    XWindows windows(session_->display());
    ASSERT_TRUE(windows.isOpen());

    ASSERT_TRUE(eventually([&] { return windows.panelViewable(); })) << given.errors();
    ASSERT_TRUE(eventually([&] { return serves(given.port); })) << given.errors();
    const auto status = given.stop();
    ASSERT_TRUE(status.has_value()) << given.errors();
    EXPECT_EQ(*status, 0) << given.errors();
}

TEST_F(PanelTrayTest, AnIdleProgramWithItsPanelShownSleeps) {
    ProgramUnderTest given;
    std::ofstream(given.folder.path() / "defaults.json")
        << R"({"hasCompletedOnboarding":true,"mcp_server_port":)" << given.port << "}";
    given.start();
    XWindows windows(session_->display());
    ASSERT_TRUE(windows.isOpen());

    ASSERT_TRUE(eventually([&] { return windows.panelViewable(); })) << given.errors();
    ASSERT_TRUE(eventually([&] { return serves(given.port); })) << given.errors();
    // 2.5 s outlasts any timer of a second or half a second.
    std::string wakers;
    EXPECT_TRUE(lumenary::testing::fallsAsleep(given.program->pid(), 2500ms, 10s, &wakers))
        << "threads of the idle program keep waking: " << wakers;
    const auto status = given.stop();
    ASSERT_TRUE(status.has_value()) << given.errors();
    EXPECT_EQ(*status, 0) << given.errors();
}

TEST_F(PanelTrayTest, TheFirstLaunchOpensTheFirstRunWindowAndSwitchesTheCategoriesOffOnlyThatOnce) {
    ProgramUnderTest given;
    XWindows windows(session_->display());
    ASSERT_TRUE(windows.isOpen());

    given.start();
    ASSERT_TRUE(eventually([&] { return windows.viewable("Lumenary 引导设置"); })) << given.errors();
    ASSERT_TRUE(eventually([&] { return serves(given.port); })) << given.errors();
    auto status = given.stop();
    ASSERT_TRUE(status.has_value()) << given.errors();
    EXPECT_EQ(*status, 0) << given.errors();
    EXPECT_EQ(storedBoolean(given.folder.path(), "hasShownOnboarding"), true) << readFile(given.folder.path() / "defaults.json");
    EXPECT_EQ(storedBoolean(given.folder.path(), "isCalendarEnabled"), false);
    EXPECT_FALSE(storedBoolean(given.folder.path(), "hasCompletedOnboarding").has_value());

    // Closed unfinished: the next launch shows the guide again and leaves a
    // switch the user turned on since.
    const auto stored = readFile(given.folder.path() / "defaults.json");
    auto defaults = mcp::parseJSON(stored);
    (*defaults.objectValue())["isCalendarEnabled"] = mcp::Value(true);
    std::ofstream(given.folder.path() / "defaults.json") << mcp::writeJSON(defaults);
    given.start();
    ASSERT_TRUE(eventually([&] { return windows.viewable("Lumenary 引导设置"); })) << given.errors();
    ASSERT_TRUE(eventually([&] { return serves(given.port); })) << given.errors();
    status = given.stop();
    ASSERT_TRUE(status.has_value()) << given.errors();
    EXPECT_EQ(*status, 0) << given.errors();
    EXPECT_EQ(storedBoolean(given.folder.path(), "isCalendarEnabled"), true);
}

TEST_F(PanelTrayTest, ALaunchAfterTheGuideWasFinishedOpensNoFirstRunWindow) {
    ProgramUnderTest given;
    std::ofstream(given.folder.path() / "defaults.json")
        << R"({"hasCompletedOnboarding":true,"mcp_server_port":)" << given.port << "}";
    XWindows windows(session_->display());

    given.start();
    // The panel shows as an ordinary window once the launch has finished.
    ASSERT_TRUE(eventually([&] { return windows.panelViewable(); })) << given.errors();
    EXPECT_FALSE(windows.viewable("Lumenary 引导设置"));
    const auto status = given.stop();
    ASSERT_TRUE(status.has_value()) << given.errors();
    EXPECT_EQ(*status, 0) << given.errors();
}

TEST_F(PanelTrayTest, WithoutAPanelModuleThatFitsItServesHeadlessAndSaysWhy) {
    struct Case {
        const char* name;
        // Copied beside the program as its panel module; none when empty.
        std::string module;
        const char* reason;
    };
    const Case cases[] = {
        {"no module", "", "cannot open shared object file"},
        {"a module needing a symbol the program lacks",
         lumenary::testing::siblingProgram("panel-modules/panel_module_with_unbound_symbol.so"),
         "undefined symbol: lumenary_symbol_no_program_defines"},
    };
    for (const auto& given : cases) {
        SCOPED_TRACE(given.name);
        ProgramUnderTest program;
        // A copy, since the system names the program by its file, not by a
        // link to it.
        const auto folder = program.folder.path() / "bin";
        std::filesystem::create_directory(folder);
        std::filesystem::copy_file(lumenary::testing::siblingProgram("lumenary"), folder / "lumenary");
        if (!given.module.empty()) {
            std::filesystem::copy_file(given.module, folder / "lumenary-panel.so");
        }
        program.start((folder / "lumenary").string());

        ASSERT_TRUE(eventually([&] { return serves(program.port); })) << program.errors();
        const auto status = program.stop();
        ASSERT_TRUE(status.has_value()) << program.errors();
        EXPECT_EQ(*status, 0) << program.errors();
        const auto errors = program.errors();
        EXPECT_NE(errors.find("Running without the panel: the panel module could not be loaded: " +
                              (folder / "lumenary-panel.so").string() + ": " + given.reason),
                  std::string::npos)
            << errors;
    }
}

TEST_F(PanelTrayTest, TheItemRegistersAndActivateTogglesThePanel) {
    auto bus = QDBusConnection::connectToBus(QString::fromStdString(session_->busAddress()),
                                             QStringLiteral("tray-test-watcher"));
    ASSERT_TRUE(bus.isConnected());
    StandInStatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.serve(bus));
    ProgramUnderTest given;
    given.start();
    XWindows windows(session_->display());

    ASSERT_TRUE(eventually([&] { return !watcher.registeredItems().isEmpty(); })) << given.errors();
    ASSERT_TRUE(eventually([&] { return serves(given.port); })) << given.errors();
    EXPECT_FALSE(windows.panelViewable());

    const auto item = watcher.registeredItems().front();
    const auto activate = [&] {
        auto call = QDBusMessage::createMethodCall(item, QStringLiteral("/StatusNotifierItem"),
                                                   QStringLiteral("org.kde.StatusNotifierItem"),
                                                   QStringLiteral("Activate"));
        call << 10 << 10;
        bus.asyncCall(call);
    };
    activate();
    EXPECT_TRUE(eventually([&] { return windows.panelViewable(); })) << given.errors();
    activate();
    EXPECT_TRUE(eventually([&] { return !windows.panelViewable(); })) << given.errors();

    // The tray host goes and comes back: the item registers with it again.
    const auto registrations = watcher.registeredItems().size();
    ASSERT_TRUE(bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    EXPECT_TRUE(eventually([&] { return watcher.registeredItems().size() > registrations; })) << given.errors();

    const auto status = given.stop();
    ASSERT_TRUE(status.has_value()) << given.errors();
    EXPECT_EQ(*status, 0) << given.errors();
    bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    QDBusConnection::disconnectFromBus(QStringLiteral("tray-test-watcher"));
}

// Where the panel lies once it has held still for longer than a page move
// lasts, at a height other than `otherHeight`.
std::optional<XClicks::Area> settledPanel(XClicks& clicks, std::optional<int> otherHeight) {
    std::optional<XClicks::Area> area;
    auto since = std::chrono::steady_clock::now();
    const auto same = [](const XClicks::Area& a, const XClicks::Area& b) {
        return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
    };
    const bool settled = eventually([&] {
        const auto now = std::chrono::steady_clock::now();
        const auto latest = clicks.area("Lumenary");
        if (!latest || !area || !same(*latest, *area)) {
            area = latest;
            since = now;
            return false;
        }
        return area->height != otherHeight && now - since > 700ms;
    });
    return settled ? area : std::nullopt;
}

TEST_F(PanelTrayTest, TheTrayPanelOpensInsideTheScreenAndStaysThereWhenItsPageGrows) {
    auto bus = QDBusConnection::connectToBus(QString::fromStdString(session_->busAddress()),
                                             QStringLiteral("tray-placement-watcher"));
    ASSERT_TRUE(bus.isConnected());
    StandInStatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.serve(bus));
    ProgramUnderTest given;
    std::ofstream(given.folder.path() / "defaults.json")
        << R"({"hasCompletedOnboarding":true,"mcp_server_port":)" << given.port << "}";
    given.start();
    XClicks clicks(session_->display());
    ASSERT_TRUE(clicks.isOpen());
    ASSERT_TRUE(eventually([&] { return !watcher.registeredItems().isEmpty(); })) << given.errors();

    // The tray tells no icon geometry here, so the panel opens by the
    // pointer: at the screen's bottom edge, as a bottom panel's icon would.
    const auto screen = clicks.screen();
    clicks.movePointerTo(screen.width / 2, screen.height - 2);
    auto call = QDBusMessage::createMethodCall(watcher.registeredItems().front(), QStringLiteral("/StatusNotifierItem"),
                                               QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
    call << screen.width / 2 << screen.height - 2;
    bus.asyncCall(call);

    const auto inside = [&screen](const XClicks::Area& area) {
        return area.x >= 0 && area.y >= 0 && area.x + area.width <= screen.width &&
               area.y + area.height <= screen.height - 2;
    };
    const auto main = settledPanel(clicks, std::nullopt);
    ASSERT_TRUE(main.has_value()) << given.errors();
    EXPECT_TRUE(inside(*main)) << main->x << "," << main->y << " " << main->width << "×" << main->height;

    // "工具列表" is the second last row of the main page; its page is taller.
    ASSERT_TRUE(clicks.click("Lumenary", 200, main->height - 26 - 49));
    const auto tools = settledPanel(clicks, main->height);
    ASSERT_TRUE(tools.has_value()) << "the tools page never opened\n" << given.errors();
    EXPECT_TRUE(inside(*tools)) << tools->x << "," << tools->y << " " << tools->width << "×" << tools->height;

    const auto status = given.stop();
    ASSERT_TRUE(status.has_value()) << given.errors();
    EXPECT_EQ(*status, 0) << given.errors();
    bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    QDBusConnection::disconnectFromBus(QStringLiteral("tray-placement-watcher"));
}

}  // namespace
}  // namespace lumenary::app::testing
