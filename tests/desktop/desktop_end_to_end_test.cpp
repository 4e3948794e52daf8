// The desktop-control tools for real, on a private Xvfb display and
// session bus with our own Qt window as the one application: the window is
// found by its process id, its tree read, its line edit clicked and typed
// into and its button pressed, and the window reports what it received.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <thread>

#include "app/tools/desktop/macos_control_tool_handler.hpp"
#include "mcp/core/json.hpp"
#include "platform/desktop/atspi_accessibility.hpp"
#include "platform/desktop/xtest_input_events.hpp"
#include "support/child_process.hpp"
#include "support/desktop_session.hpp"
#include "support/run_awaitable.hpp"
#include "support/scoped_environment.hpp"
#include "support/value_member.hpp"

namespace lumenary::app {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::ChildProcess;
using lumenary::testing::DesktopSession;
using lumenary::testing::member;

std::string text(const mcp::Value& object, const std::string& key) {
    const auto* value = member(object, key).stringValue();
    return value != nullptr ? *value : std::string();
}

const mcp::Value::Array& children(const mcp::Value& element) {
    static const mcp::Value::Array none;
    const auto* list = member(element, "children").arrayValue();
    return list != nullptr ? *list : none;
}

// The first element (depth first) that `matches`, with its depth.
const mcp::Value* find(const mcp::Value& element, const std::function<bool(const mcp::Value&)>& matches,
                       int depth = 0, int* foundDepth = nullptr) {
    if (matches(element)) {
        if (foundDepth != nullptr) {
            *foundDepth = depth;
        }
        return &element;
    }
    for (const auto& child : children(element)) {
        if (const auto* found = find(child, matches, depth + 1, foundDepth)) {
            return found;
        }
    }
    return nullptr;
}

std::function<bool(const mcp::Value&)> titled(std::string title) {
    return [title](const mcp::Value& element) { return text(element, "title") == title; };
}

// The centre of a frame text "(x, y, width, height)".
std::pair<double, double> centre(const std::string& frame) {
    double x = 0, y = 0, width = 0, height = 0;
    std::sscanf(frame.c_str(), "(%lf, %lf, %lf, %lf)", &x, &y, &width, &height);
    return {x + width / 2, y + height / 2};
}

// The display, the buses and the window, started once for the program.
class Desktop : public ::testing::Environment {
public:
    static inline std::string skipReason;
    static inline std::unique_ptr<DesktopSession> session;
    static inline std::unique_ptr<ChildProcess> window;
    static inline std::shared_ptr<MacOSControlToolHandler> tools;

    void SetUp() override {
        const std::string windowProgram = lumenary::testing::siblingProgram("desktop_test_window");
        if (::access(windowProgram.c_str(), X_OK) != 0) {
            skipReason = "the test window was not built (Qt 6 Widgets missing)";
            return;
        }
        auto started = DesktopSession::start();
        if (auto* reason = std::get_if<std::string>(&started)) {
            skipReason = *reason;
            return;
        }
        session = std::move(std::get<0>(started));
        auto bus = session->startAccessibilityBus(20s);
        if (bus.index() == 1) {
            skipReason = std::get<1>(bus);
            return;
        }
        // The window publishes its tree without the desktop's setting.
        window = std::make_unique<ChildProcess>(std::vector<std::string>{
            "/usr/bin/env", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1", "QT_QPA_PLATFORM=xcb", windowProgram});
        tools = std::make_shared<MacOSControlToolHandler>(std::make_shared<MacOSControlService>(
            platform::makeAtspiAccessibility(), platform::makeXTestInputEvents(), ::getpid()));
    }

    void TearDown() override {
        tools.reset();
        window.reset();
        session.reset();
    }
};

const auto* const desktop = ::testing::AddGlobalTestEnvironment(new Desktop);

std::string call(const std::string& name, PlainDictionary arguments = {}) {
    auto outcome = lumenary::testing::runAwaitable(Desktop::tools->handle(name, std::move(arguments)));
    if (!outcome) {
        return outcome.error().domain() + " " + std::to_string(outcome.error().code()) + " " +
               outcome.error().description();
    }
    return std::move(outcome).value();
}

// The window's element tree once the window is on the accessibility bus
// with its controls, or null when it is not there before the deadline.
mcp::Value windowTree(std::chrono::milliseconds timeout = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        mcp::Value tree = mcp::parseJSON(call("macos_get_ui_tree", {{"pid", std::int64_t{Desktop::window->pid()}}}));
        if (find(tree, titled("Send")) != nullptr) {
            return tree;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return {};
        }
        std::this_thread::sleep_for(20ms);
    }
}

// Runs with or without a desktop: the layers are fresh, so nothing the
// other tests started answers for them.
TEST(DesktopDenialTest, TheDenialSaysWhatIsMissing) {
    const std::string noBus =
        "The accessibility bus does not answer: install at-spi2-core and run Lumenary in a desktop session with a "
        "session bus (DBUS_SESSION_BUS_ADDRESS).";
    struct Case {
        std::optional<std::string> display;
        std::string check;
    };
    const Case cases[] = {
        {std::nullopt,
         "Permission Denied. No X display is set: run Lumenary in an X11 or XWayland session, or set DISPLAY to one. " +
             noBus},
        {":65000",
         "Permission Denied. The X display \":65000\" does not open: set DISPLAY to a running X11 or XWayland "
         "display that this user may use. " + noBus},
    };
    for (const auto& testCase : cases) {
        lumenary::testing::ScopedEnvironment environment;
        environment.set("DISPLAY", testCase.display);
        environment.set("AT_SPI_BUS_ADDRESS", std::nullopt);
        environment.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/lumenary-test-bus");
        MacOSControlToolHandler tools(std::make_shared<MacOSControlService>(
            platform::makeAtspiAccessibility(), platform::makeXTestInputEvents(), ::getpid()));
        EXPECT_EQ(lumenary::testing::runAwaitable(tools.handle("macos_check_permission", {})).value(),
                  testCase.check);
        EXPECT_EQ(lumenary::testing::runAwaitable(tools.handle("macos_type_text", {{"text", "x"}})).value(),
                  "Permission Denied. 'Lumenary' needs an X display with XTest and the accessibility bus. " +
                      testCase.check.substr(std::string("Permission Denied. ").size()));
    }
}

class DesktopEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Desktop::skipReason.empty()) {
            GTEST_SKIP() << "desktop end-to-end test skipped: " << Desktop::skipReason;
        }
    }
};

TEST_F(DesktopEndToEndTest, TheWindowIsListedWithItsProcessIdOnceTrusted) {
    EXPECT_EQ(call("macos_check_permission"), "Permission Granted");
    ASSERT_FALSE(windowTree().isNull()) << "the window never appeared on the accessibility bus";
    const mcp::Value apps = mcp::parseJSON(call("macos_list_apps"));
    ASSERT_NE(apps.arrayValue(), nullptr);
    bool listed = false;
    for (const auto& app : *apps.arrayValue()) {
        EXPECT_NE(member(app, "processIdentifier"), mcp::Value(std::int64_t{::getpid()}));
        if (member(app, "processIdentifier") == mcp::Value(std::int64_t{Desktop::window->pid()})) {
            listed = true;
            EXPECT_EQ(text(app, "name"), "desktop_test_window");
            EXPECT_EQ(text(app, "bundleIdentifier"), "");
        }
    }
    EXPECT_TRUE(listed) << mcp::writeJSON(apps);
}

TEST_F(DesktopEndToEndTest, TheTreeIsCutAtFiftyChildrenAndDepthFiveAndCarriesValues) {
    const mcp::Value tree = windowTree();
    ASSERT_FALSE(tree.isNull());
    EXPECT_EQ(text(tree, "role"), "application");

    const auto* buttons = find(tree, titled("Buttons"));
    ASSERT_NE(buttons, nullptr) << mcp::writeJSON(tree, {.prettyPrinted = true});
    EXPECT_EQ(children(*buttons).size(), 50U);
    EXPECT_EQ(text(children(*buttons).front(), "title"), "Buttons 0");
    EXPECT_EQ(text(children(*buttons).front(), "role"), "push button");

    int depth = 0;
    const auto* deepest = find(tree, titled("Frame 4"), 0, &depth);
    ASSERT_NE(deepest, nullptr);
    EXPECT_EQ(depth, 5);
    EXPECT_TRUE(member(*deepest, "children").isNull());
    EXPECT_EQ(find(tree, titled("Frame 5")), nullptr);

    const auto* agree = find(tree, titled("Agree"));
    ASSERT_NE(agree, nullptr);
    EXPECT_EQ(text(*agree, "role"), "check box");
    const auto* level = find(tree, titled("Level"));
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(text(*level, "role"), "slider");
    EXPECT_EQ(text(*level, "value"), "1");
    const auto* send = find(tree, titled("Send"));
    ASSERT_NE(send, nullptr);
    EXPECT_EQ(text(*send, "value"), "");
    EXPECT_NE(text(*send, "frame"), "");
    EXPECT_EQ(text(*send, "identifier"), "");
    EXPECT_EQ(text(*send, "subrole"), "");
}

TEST_F(DesktopEndToEndTest, ClickingAndTypingReachTheWindow) {
    const mcp::Value tree = windowTree();
    ASSERT_FALSE(tree.isNull());
    const auto* message = find(tree, titled("Message"));
    const auto* send = find(tree, titled("Send"));
    ASSERT_NE(message, nullptr);
    ASSERT_NE(send, nullptr);

    const auto [fieldX, fieldY] = centre(text(*message, "frame"));
    EXPECT_EQ(call("macos_click_element", {{"x", fieldX}, {"y", fieldY}}).rfind("Clicked at (", 0), 0U);
    const std::string typed = "héllo Ωmega 👋 \"q\" \\b";
    // Stopped, the window reads the keys and the keyboard map only after
    // typing has ended, as a busy client would: the characters no key types
    // must still be on their keys then.
    ASSERT_EQ(::kill(Desktop::window->pid(), SIGSTOP), 0);
    const std::string typedAnswer = call("macos_type_text", {{"text", typed}});
    ASSERT_EQ(::kill(Desktop::window->pid(), SIGCONT), 0);
    EXPECT_EQ(typedAnswer, "Typed: " + typed);
    // More characters no key types than a keyboard leaves keys free, two
    // to a key: keys are given new characters once their old ones have
    // been read.
    const std::string greek = "αβγδεζηθικλμνξοπρστυφχψωабвгдеёжзийклмнопрстуфхцчшщъыьэюя";
    EXPECT_EQ(call("macos_type_text", {{"text", greek}}), "Typed: " + greek);
    const std::string sent = typed + greek;
    const auto [sendX, sendY] = centre(text(*send, "frame"));
    // Whole pixels arrive as integers.
    EXPECT_EQ(call("macos_click_element",
                   {{"x", static_cast<std::int64_t>(sendX)}, {"y", static_cast<std::int64_t>(sendY)}}),
              "Clicked at (" + mcp::doubleText(static_cast<double>(static_cast<std::int64_t>(sendX))) + ", " +
                  mcp::doubleText(static_cast<double>(static_cast<std::int64_t>(sendY))) + ")");

    std::vector<std::string> received;
    const std::string expected = "clicked Send: " + sent;
    while (auto line = Desktop::window->readLine(10s)) {
        received.push_back(*line);
        if (line->rfind("clicked Send: ", 0) == 0) {
            break;
        }
    }
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.back(), expected);
    // Every key was released: no character came twice from a held key.
    EXPECT_EQ(std::count(received.begin(), received.end(), "text: " + sent), 1);

    const mcp::Value after = windowTree();
    const auto* field = find(after, titled("Message"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(text(*field, "value"), sent);
}

// Runs last: after every tool has run, the desktop's own setting is still
// off, since switching it on would outlive the program.
TEST_F(DesktopEndToEndTest, TheToolsLeaveTheDesktopsAccessibilitySettingOff) {
    EXPECT_EQ(call("macos_check_permission"), "Permission Granted");
    EXPECT_EQ(Desktop::session->accessibilityEnabled(), std::optional<bool>(false));
}

}  // namespace
}  // namespace lumenary::app
