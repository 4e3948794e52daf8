#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <thread>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>

#include "app/tools/desktop/macos_control_tool_handler.hpp"
#include "app/tools/local_tool_service.hpp"
#include "app/tools/tool_outcome_text.hpp"
#include "mcp/core/json.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "support/memory_accessibility.hpp"
#include "support/recording_input_events.hpp"
#include "support/value_member.hpp"

namespace lumenary::app {
namespace {

using lumenary::testing::member;
using lumenary::testing::MemoryAccessibility;
using lumenary::testing::MemoryElement;
using lumenary::testing::RecordingInputEvents;

const std::string noDisplay = "No X display is set.";
const std::string noBus = "The accessibility bus does not answer.";
const std::string deniedPrefix =
    "Permission Denied. 'Lumenary' needs an X display with XTest and the accessibility bus. ";

std::shared_ptr<MemoryElement> element(std::string role, std::string name = {}) {
    auto node = std::make_shared<MemoryElement>();
    node->roleName = std::move(role);
    node->name = std::move(name);
    node->description = "";
    node->extents = platform::ScreenRectangle{0, 0, 10, 10};
    return node;
}

std::shared_ptr<MemoryElement> application(pid_t pid, std::string name, int windows = 1) {
    auto node = element("application", std::move(name));
    node->processIdentifier = pid;
    for (int index = 0; index < windows; ++index) {
        node->children.push_back(element("frame", "Window " + std::to_string(index)));
    }
    return node;
}

// The desktop category behind a tool service, switched on, over the
// in-memory accessibility bus and recorded input events.
class DesktopToolsTest : public ::testing::Test {
protected:
    DesktopToolsTest() {
        auto ownedBus = std::make_unique<MemoryAccessibility>();
        auto ownedEvents = std::make_unique<RecordingInputEvents>();
        bus = ownedBus.get();
        events = ownedEvents.get();
        desktop = std::make_shared<MacOSControlService>(std::move(ownedBus), std::move(ownedEvents), ::getpid());
        ToolCategories categories;
        categories[static_cast<std::size_t>(ToolCategoryKind::desktopControl)] =
            std::make_shared<MacOSControlToolHandler>(desktop);
        service = std::make_shared<LocalToolService>(io.get_executor(), defaults, categories);
        service->setMacOSEnabled(true);
    }

    // The tool's text, or "<domain> <code> <description>" of its error.
    std::string call(std::string name, PlainDictionary arguments = {}) {
        return app::testing::toolOutcomeText(io, service->callTool(std::move(name), std::move(arguments)));
    }
    mcp::Value tree(pid_t pid) { return mcp::parseJSON(call("macos_get_ui_tree", {{"pid", std::int64_t{pid}}})); }

    asio::io_context io;
    platform::MemoryDefaultsStore defaults;
    MemoryAccessibility* bus = nullptr;
    RecordingInputEvents* events = nullptr;
    std::shared_ptr<MacOSControlService> desktop;
    std::shared_ptr<LocalToolService> service;
};

TEST_F(DesktopToolsTest, WithoutTheDesktopEveryToolButTheCheckAnswersTheDenialWhateverItsArguments) {
    events->unavailable = noDisplay;
    const std::pair<const char*, PlainDictionary> calls[] = {
        {"macos_list_apps", {}},
        {"macos_get_ui_tree", {}},
        {"macos_get_ui_tree", {{"pid", "12"}}},
        {"macos_click_element", {{"x", "left"}}},
        {"macos_click_element", {{"x", std::int64_t{-5}}, {"y", 1e300}}},
        {"macos_type_text", {}},
        {"macos_type_text", {{"text", std::string(20'000, 'a')}}},
    };
    for (const auto& [name, arguments] : calls) {
        EXPECT_EQ(call(name, arguments), deniedPrefix + noDisplay) << name;
    }
    EXPECT_EQ(call("macos_check_permission"), "Permission Denied. " + noDisplay);
    EXPECT_TRUE(events->events().empty());
}

TEST_F(DesktopToolsTest, TheDenialNamesEveryMissingPart) {
    struct Case {
        std::optional<std::string> events;
        std::optional<std::string> bus;
        std::string check;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, "Permission Granted"},
        {noDisplay, std::nullopt, "Permission Denied. " + noDisplay},
        {std::nullopt, noBus, "Permission Denied. " + noBus},
        {noDisplay, noBus, "Permission Denied. " + noDisplay + " " + noBus},
    };
    for (const auto& testCase : cases) {
        events->unavailable = testCase.events;
        bus->unavailable = testCase.bus;
        EXPECT_EQ(call("macos_check_permission"), testCase.check);
    }
}

TEST_F(DesktopToolsTest, RunningApplicationsAreThoseWithATopLevelElementInTheBussOrderButOurs) {
    bus->applicationList = {
        application(4000001, "Editor"),
        application(4000002, "Daemon", 0),
        application(::getpid(), "Ourselves"),
        application(4000003, ""),
        application(4000004, "Viewer", 3),
    };
    auto nameless = application(4000005, "x");
    nameless->name.reset();
    bus->applicationList.push_back(nameless);
    const std::string expected = mcp::writeJSON(mcp::parseJSON(R"([
        {"name": "Editor", "bundleIdentifier": "", "processIdentifier": 4000001},
        {"name": "Unknown", "bundleIdentifier": "", "processIdentifier": 4000003},
        {"name": "Viewer", "bundleIdentifier": "", "processIdentifier": 4000004},
        {"name": "Unknown", "bundleIdentifier": "", "processIdentifier": 4000005}])"),
                                                {.prettyPrinted = true});
    EXPECT_EQ(call("macos_list_apps"), expected);
}

TEST_F(DesktopToolsTest, TheTreeReadsEachElementsAttributes) {
    auto app = application(4100, "Form");
    auto window = app->children[0];
    auto field = element("text", "Name");
    field->text = "Ada";
    field->currentValue = 3;
    auto check = element("check box", "Agree");
    check->currentValue = 1;
    auto slider = element("slider", "Volume");
    slider->currentValue = 0.25;
    auto label = element("label", "bad \xFF byte");
    label->description = "A label";
    label->extents = platform::ScreenRectangle{-4, 25, 800, 600};
    auto broken = element("panel");
    broken->name.reset();
    broken->description.reset();
    broken->extents.reset();
    window->children = {field, check, slider, label, broken};
    bus->applicationList = {app};

    const mcp::Value root = tree(4100);
    EXPECT_EQ(member(root, "role"), "application");
    EXPECT_EQ(member(root, "title"), "Form");
    const auto& children = *member(member(root, "children").arrayValue()->at(0), "children").arrayValue();
    struct Expected {
        const char* role;
        const char* title;
        const char* description;
        const char* value;
        const char* frame;
    };
    const Expected expected[] = {
        {"text", "Name", "", "Ada", "(0.0, 0.0, 10.0, 10.0)"},
        {"check box", "Agree", "", "1", "(0.0, 0.0, 10.0, 10.0)"},
        {"slider", "Volume", "", "0.25", "(0.0, 0.0, 10.0, 10.0)"},
        {"label", "bad \uFFFD byte", "A label", "", "(-4.0, 25.0, 800.0, 600.0)"},
        {"panel", "", "", "", ""},
    };
    ASSERT_EQ(children.size(), std::size(expected));
    for (std::size_t index = 0; index < children.size(); ++index) {
        const auto& child = children[index];
        EXPECT_EQ(member(child, "role"), expected[index].role);
        EXPECT_EQ(member(child, "title"), expected[index].title);
        EXPECT_EQ(member(child, "description"), expected[index].description);
        EXPECT_EQ(member(child, "value"), expected[index].value);
        EXPECT_EQ(member(child, "frame"), expected[index].frame);
        EXPECT_EQ(member(child, "subrole"), "");
        EXPECT_EQ(member(child, "identifier"), "");
        // Leaves have no children key, not an empty list.
        EXPECT_TRUE(member(child, "children").isNull());
    }
}

TEST_F(DesktopToolsTest, TheTreeStopsAtFiftyChildrenAndAtDepthFive) {
    auto app = application(4200, "Wide");
    auto window = app->children[0];
    for (int index = 0; index < 1000; ++index) {
        window->children.push_back(element("push button", "Button " + std::to_string(index)));
    }
    auto chain = element("filler", "depth 2");
    window->children.insert(window->children.begin(), chain);
    for (int depth = 3; depth <= 8; ++depth) {
        auto next = element("filler", "depth " + std::to_string(depth));
        chain->children.push_back(next);
        chain = next;
    }
    bus->applicationList = {app};

    const mcp::Value root = tree(4200);
    const auto& windowChildren = *member(member(root, "children").arrayValue()->at(0), "children").arrayValue();
    ASSERT_EQ(windowChildren.size(), 50U);
    EXPECT_EQ(member(windowChildren[1], "title"), "Button 0");
    EXPECT_EQ(member(windowChildren[49], "title"), "Button 48");
    const mcp::Value* deepest = &windowChildren[0];
    int depth = 2;
    while (!member(*deepest, "children").isNull()) {
        deepest = &member(*deepest, "children").arrayValue()->at(0);
        ++depth;
    }
    EXPECT_EQ(depth, 5);
    EXPECT_EQ(member(*deepest, "title"), "depth 5");
}

TEST_F(DesktopToolsTest, AProcessWithoutAnApplicationGivesAnEmptyRoot) {
    bus->applicationList = {application(4300, "Other")};
    EXPECT_EQ(call("macos_get_ui_tree", {{"pid", std::int64_t{4301}}}),
              mcp::writeJSON(mcp::parseJSON(R"({"role": "", "title": "", "description": "", "value": "",
                                                "subrole": "", "identifier": "", "frame": ""})"),
                             {.prettyPrinted = true}));
}

TEST_F(DesktopToolsTest, AnApplicationThatQuitsDuringTheWalkLeavesWhatWasReadBeforeIt) {
    auto app = application(4400, "Leaving");
    for (int index = 0; index < 20; ++index) {
        app->children[0]->children.push_back(element("push button", "Button " + std::to_string(index)));
    }
    bus->applicationList = {app};
    bus->quitAfterReads = 30;
    const mcp::Value root = tree(4400);
    EXPECT_EQ(member(root, "title"), "Leaving");
    const auto& buttons = *member(member(root, "children").arrayValue()->at(0), "children").arrayValue();
    EXPECT_GT(buttons.size(), 0U);
    EXPECT_LT(buttons.size(), 20U);
    // Children that can no longer be fetched are left out; a child fetched
    // just before the quit keeps its place with whatever it answered.
    for (std::size_t index = 0; index + 1 < buttons.size(); ++index) {
        EXPECT_EQ(member(buttons[index], "title"), "Button " + std::to_string(index));
    }
}

TEST_F(DesktopToolsTest, ThePidMustBeAnIntegerThatFitsAProcessId) {
    bus->applicationList = {application(4500, "App")};
    const std::string refusal = "LocalTool 400 Missing 'pid' argument or invalid type";
    const std::pair<PlainDictionary, std::string> cases[] = {
        {{}, refusal},
        {{{"pid", "4500"}}, refusal},
        {{{"pid", 4500.5}}, refusal},
        {{{"pid", std::int64_t{2147483648}}}, refusal},
        {{{"pid", std::int64_t{-2147483649}}}, refusal},
        // 4500 plus 2^32 would wrap around to the application's pid.
        {{{"pid", std::int64_t{4294971796}}}, refusal},
        {{{"pid", std::int64_t{-1}}}, "empty"},
        {{{"pid", std::int64_t{4500}}}, "App"},
    };
    for (const auto& [arguments, expected] : cases) {
        const std::string answer = call("macos_get_ui_tree", arguments);
        if (expected == refusal) {
            EXPECT_EQ(answer, refusal);
            continue;
        }
        const mcp::Value root = mcp::parseJSON(answer);
        const std::string* title = member(root, "title").stringValue();
        ASSERT_NE(title, nullptr) << answer;
        EXPECT_EQ(title->empty() ? "empty" : *title, expected);
    }
}

TEST_F(DesktopToolsTest, AClickTakesWholeAndFractionalCoordinatesOnTheScreen) {
    struct Case {
        PlainDictionary arguments;
        std::string answer;
        std::vector<std::string> posted;
    };
    const Case cases[] = {
        {{{"x", std::int64_t{100}}, {"y", std::int64_t{200}}}, "Clicked at (100.0, 200.0)", {"click 100 200"}},
        {{{"x", 100.5}, {"y", 200.25}}, "Clicked at (100.5, 200.25)", {"click 100 200"}},
        {{{"x", std::int64_t{0}}, {"y", 1023.75}}, "Clicked at (0.0, 1023.75)", {"click 0 1023"}},
        {{{"x", "100"}, {"y", std::int64_t{200}}}, "LocalTool 400 Missing 'x' or 'y' argument", {}},
        {{{"x", std::int64_t{100}}}, "LocalTool 400 Missing 'x' or 'y' argument", {}},
        {{{"x", -0.5}, {"y", std::int64_t{10}}},
         "LocalTool 400 Point (-0.5, 10.0) is not on the screen, which is 1280 by 1024 pixels",
         {}},
        {{{"x", std::int64_t{1280}}, {"y", std::int64_t{10}}},
         "LocalTool 400 Point (1280.0, 10.0) is not on the screen, which is 1280 by 1024 pixels",
         {}},
        {{{"x", std::int64_t{10}}, {"y", 1e300}},
         "LocalTool 400 Point (10.0, 1e+300) is not on the screen, which is 1280 by 1024 pixels",
         {}},
    };
    std::size_t posted = 0;
    for (const auto& testCase : cases) {
        EXPECT_EQ(call("macos_click_element", testCase.arguments), testCase.answer);
        const auto all = events->events();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(posted), all.end()),
                  testCase.posted)
            << testCase.answer;
        posted = all.size();
    }
}

TEST_F(DesktopToolsTest, TypingPostsOneKeyPerCodePoint) {
    struct Case {
        std::string text;
        std::vector<std::string> keys;
    };
    const Case cases[] = {
        {"", {}},
        {"ab", {"key U+0061", "key U+0062"}},
        {std::string("a\0b", 3), {"key U+0061", "key U+0000", "key U+0062"}},
        // A lone combining acute accent.
        {"\u0301", {"key U+0301"}},
        // Waving hand with a skin tone, then a family joined by ZWJs.
        {"\U0001F44B\U0001F3FD", {"key U+1F44B", "key U+1F3FD"}},
        {"\U0001F468\u200D\U0001F469", {"key U+1F468", "key U+200D", "key U+1F469"}},
    };
    for (const auto& testCase : cases) {
        const std::size_t before = events->events().size();
        EXPECT_EQ(call("macos_type_text", {{"text", testCase.text}}), "Typed: " + testCase.text);
        const auto all = events->events();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()),
                  testCase.keys);
    }
}

TEST_F(DesktopToolsTest, TypingTakesAtMostTenThousandCharacters) {
    // Three bytes each, so the limit counts characters, not bytes.
    std::string limit;
    for (int index = 0; index < 10'000; ++index) {
        limit += "\u20AC";
    }
    EXPECT_EQ(call("macos_type_text", {{"text", limit}}), "Typed: " + limit);
    EXPECT_EQ(events->events().size(), 10'000U);
    EXPECT_EQ(call("macos_type_text", {{"text", limit + "x"}}),
              "LocalTool 400 Text too long to type: 10001 characters, at most 10000 per call");
    EXPECT_EQ(call("macos_type_text", {{"text", std::int64_t{5}}}), "LocalTool 400 Missing 'text' argument");
    EXPECT_EQ(events->events().size(), 10'000U);
}

TEST_F(DesktopToolsTest, TypingThatStopsShortSaysWhatWasTypedAndWhatWasNot) {
    events->untypable = U"\u00F1\u0007";
    events->untypableReason = "No key for it.";
    struct Case {
        std::string text;
        std::string answer;
        std::size_t keys;
    };
    const Case cases[] = {
        {"ab", "Typed: ab", 2},
        {"\u00F1\u20AC\u00DF",
         "MacOSControlTool 500 Stopped typing after 0 of 3 characters: typed \"\", not typed \"\u00F1\u20AC\u00DF\". "
         "No key for it.",
         0},
        {"caf\u00E9 \u00F1o\u00F1o",
         "MacOSControlTool 500 Stopped typing after 5 of 9 characters: typed \"caf\u00E9 \", not typed \"\u00F1o\u00F1o\". "
         "No key for it.",
         5},
        {"\U0001F600\a", "MacOSControlTool 500 Stopped typing after 1 of 2 characters: typed \"\U0001F600\", not typed "
                          "\"\a\". No key for it.",
         1},
    };
    for (const auto& testCase : cases) {
        const std::size_t before = events->events().size();
        EXPECT_EQ(call("macos_type_text", {{"text", testCase.text}}), testCase.answer);
        EXPECT_EQ(events->events().size() - before, testCase.keys) << testCase.text;
    }
}

TEST_F(DesktopToolsTest, TheStopEndsTypingUnderWayThenGivesTheKeysBackOnceAndNothingTypesAfter) {
    desktop->takeBackAbandonedKeys();
    events->perKey = std::chrono::milliseconds(1);
    std::string answer;
    std::thread typing([this, &answer] { answer = call("macos_type_text", {{"text", std::string(10'000, 'a')}}); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (events->events().size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    desktop->stop();
    desktop->stop();
    typing.join();
    ASSERT_TRUE(desktop->waitUntilStopped(std::chrono::seconds(10)));

    const auto posted = events->events();
    ASSERT_GE(posted.size(), 3U);
    const std::size_t typed = posted.size() - 2;
    EXPECT_LT(typed, 10'000U);
    EXPECT_EQ(answer, "MacOSControlTool 500 Stopped typing after " + std::to_string(typed) +
                          " of 10000 characters: typed \"" + std::string(typed, 'a') + "\", not typed \"" +
                          std::string(10'000 - typed, 'a') + "\". Stopping.");
    EXPECT_EQ(posted.front(), "take back");
    EXPECT_EQ(posted.back(), "give back");
    EXPECT_EQ(call("macos_type_text", {{"text", "ab"}}),
              "MacOSControlTool 500 Stopped typing after 0 of 2 characters: typed \"\", not typed \"ab\". Stopping.");
    EXPECT_EQ(events->events().size(), posted.size());
}

TEST_F(DesktopToolsTest, EveryDesktopCallRunsOnOneThreadOfItsOwnAndOverlappingCallsNeverInterleave) {
    bus->applicationList = {application(4600, "App")};
    events->perKey = std::chrono::microseconds(200);
    for (const char* text : {"aaaaaaaaaa", "bbbbbbbbbb", "cccccccccc"}) {
        asio::co_spawn(io, service->callTool("macos_type_text", {{"text", text}}), asio::detached);
    }
    asio::co_spawn(io, service->callTool("macos_get_ui_tree", {{"pid", std::int64_t{4600}}}), asio::detached);
    asio::co_spawn(io, service->callTool("macos_click_element", {{"x", 1.0}, {"y", 2.0}}), asio::detached);
    io.run();
    io.restart();

    const auto posted = events->events();
    ASSERT_EQ(posted.size(), 31U);
    std::string order;
    for (const auto& event : posted) {
        order += event == "click 1 2" ? 'C' : event == "key U+0061" ? 'a' : event == "key U+0062" ? 'b' : 'c';
    }
    EXPECT_EQ(order, "aaaaaaaaaabbbbbbbbbbccccccccccC");
    auto threads = events->threads();
    const auto busThreads = bus->threads();
    threads.insert(busThreads.begin(), busThreads.end());
    EXPECT_EQ(threads.size(), 1U);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0U);
}

}  // namespace
}  // namespace lumenary::app
