// Load driver: the desktop-control tools against a real window on a private
// Xvfb display and session bus. The window holds 40 groups of 25 buttons
// (some 1,050 elements); macos_get_ui_tree reads its tree five times and
// prints every run and the median, which must stay within 2 s. Then the
// line edit is clicked and typed into, each text timed until the window has
// received the last of its characters: 1,000 ASCII letters, 1,000 Cyrillic
// ones of 37 distinct letters that the keyboard map has no key for, and
// 4,000 of those in one call, which must end within 60 s (the time a common
// client waits for a call), and, for its rate only, 1,000 of 61 distinct
// letters, more than the free keys hold at once. Without Xvfb, at-spi2-core
// or the test window it says so and exits 0.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/tools/desktop/macos_control_tool_handler.hpp"
#include "mcp/core/json.hpp"
#include "platform/desktop/atspi_accessibility.hpp"
#include "platform/desktop/xtest_input_events.hpp"
#include "support/child_process.hpp"
#include "support/desktop_session.hpp"
#include "support/run_awaitable.hpp"

using namespace lumenary;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int groups = 40;
constexpr int groupSize = 25;
constexpr int runs = 5;
constexpr int typedCount = 1'000;
constexpr double limitSeconds = 2.0;
constexpr int longTypedCount = 4'000;
constexpr double longTypingLimitSeconds = 60.0;
// The Russian alphabet and four Ukrainian letters: none is on the test
// display's keyboard map.
constexpr const char* cyrillicLetters[] = {"а", "б", "в", "г", "д", "е", "ё", "ж", "з", "и", "й", "к", "л",
                                           "м", "н", "о", "п", "р", "с", "т", "у", "ф", "х", "ц", "ч", "ш",
                                           "щ", "ъ", "ы", "ь", "э", "ю", "я", "і", "ї", "є", "ґ"};
constexpr const char* greekLetters[] = {"α", "β", "γ", "δ", "ε", "ζ", "η", "θ", "ι", "κ", "λ", "μ",
                                        "ν", "ξ", "ο", "π", "ρ", "σ", "τ", "υ", "φ", "χ", "ψ", "ω"};

std::string call(app::MacOSControlToolHandler& tools, const std::string& name, app::PlainDictionary arguments = {}) {
    auto outcome = testing::runAwaitable(tools.handle(name, std::move(arguments)));
    return outcome ? std::move(outcome).value() : "error: " + outcome.error().description();
}

const mcp::Value* member(const mcp::Value& object, const std::string& key) {
    const auto* members = object.objectValue();
    if (members == nullptr) {
        return nullptr;
    }
    const auto found = members->find(key);
    return found == members->end() ? nullptr : &found->second;
}

int elementCount(const mcp::Value& element) {
    int count = 1;
    if (const auto* children = member(element, "children")) {
        for (const auto& child : *children->arrayValue()) {
            count += elementCount(child);
        }
    }
    return count;
}

const mcp::Value* titled(const mcp::Value& element, const std::string& title) {
    if (const auto* text = member(element, "title"); text != nullptr && *text == title) {
        return &element;
    }
    if (const auto* children = member(element, "children")) {
        for (const auto& child : *children->arrayValue()) {
            if (const auto* found = titled(child, title)) {
                return found;
            }
        }
    }
    return nullptr;
}

double seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// `count` letters drawn from `letters` by a fixed sequence, so that every
// run types the same text and a letter's next use is not predictable from
// its last.
std::string lettersText(const std::vector<const char*>& letters, int count) {
    std::string text;
    std::uint32_t state = 12345;
    for (int index = 0; index < count; ++index) {
        state = state * 1103515245U + 12345U;
        text += letters[(state >> 16) % letters.size()];
    }
    return text;
}

std::string cyrillicText(int count) {
    return lettersText({std::begin(cyrillicLetters), std::end(cyrillicLetters)}, count);
}

// Types `text` into the focused line edit, which holds `before`, and prints
// how long the call took and how long until the window held both; false
// when it never did or the call failed.
bool timeTyping(app::MacOSControlToolHandler& tools, testing::ChildProcess& window, const std::string& label,
                int count, const std::string& before, const std::string& text, double limit = 0) {
    const auto start = Clock::now();
    const std::string answer = call(tools, "macos_type_text", {{"text", text}});
    const auto posted = Clock::now();
    bool received = false;
    std::string last;
    while (auto line = window.readLine(10s)) {
        if (line->size() == 6 + before.size() + text.size() && *line == "text: " + before + text) {
            received = true;
            break;
        }
        last = std::move(*line);
    }
    const auto arrived = Clock::now();
    const bool answered = answer == "Typed: " + text;
    const bool inTime = limit <= 0 || seconds(posted - start) <= limit;
    std::printf("macos_type_text, %d %s: posted in %.3f s (%.0f characters/s), all received after %.3f s%s%s%s\n",
                count, label.c_str(), seconds(posted - start), count / seconds(posted - start),
                seconds(arrived - start), received ? "" : "  NOT ALL RECEIVED", answered ? "" : "  NOT ANSWERED",
                inTime ? "" : "  OVER");
    if (!answered) {
        std::printf("  answer: %.200s\n", answer.c_str());
    }
    if (!received) {
        const std::string expected = "text: " + before + text;
        const auto differ = std::mismatch(last.begin(), last.end(), expected.begin(), expected.end());
        std::printf("  the window holds %zu bytes of the %zu expected, the first difference at byte %zd\n",
                    last.size(), expected.size(), differ.first - last.begin());
    }
    return received && answered && inTime;
}

}  // namespace

int main() {
    const std::string windowProgram = testing::siblingProgram("desktop_test_window");
    if (::access(windowProgram.c_str(), X_OK) != 0) {
        std::printf("desktop_bench: skipped, the test window was not built\n");
        return 0;
    }
    auto started = testing::DesktopSession::start();
    if (auto* reason = std::get_if<std::string>(&started)) {
        std::printf("desktop_bench: skipped, %s\n", reason->c_str());
        return 0;
    }
    auto session = std::move(std::get<0>(started));
    if (auto bus = session->startAccessibilityBus(20s); bus.index() == 1) {
        std::printf("desktop_bench: skipped, %s\n", std::get<1>(bus).c_str());
        return 0;
    }
    testing::ChildProcess window({"/usr/bin/env", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1", "QT_QPA_PLATFORM=xcb",
                                  windowProgram, "--grid", std::to_string(groups), std::to_string(groupSize)});
    app::MacOSControlToolHandler tools(std::make_shared<app::MacOSControlService>(
        platform::makeAtspiAccessibility(), platform::makeXTestInputEvents(), ::getpid()));
    const std::string lastButton = "Group " + std::to_string(groups - 1) + " " + std::to_string(groupSize - 1);
    const app::PlainDictionary treeArguments{{"pid", std::int64_t{window.pid()}}};

    // The window is ready once its last button is on the bus; this reading
    // is not counted.
    const auto deadline = Clock::now() + 30s;
    while (titled(mcp::parseJSON(call(tools, "macos_get_ui_tree", treeArguments)), lastButton) == nullptr) {
        if (Clock::now() >= deadline) {
            std::printf("desktop_bench: the window never appeared on the accessibility bus\n");
            return 1;
        }
        std::this_thread::sleep_for(50ms);
    }

    std::vector<double> times;
    mcp::Value tree;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        tree = mcp::parseJSON(call(tools, "macos_get_ui_tree", treeArguments));
        times.push_back(seconds(Clock::now() - start));
    }
    std::printf("macos_get_ui_tree, %d groups of %d buttons: %d elements in the answer\n", groups, groupSize,
                elementCount(tree));
    for (const double time : times) {
        std::printf("  run %.3f s\n", time);
    }
    std::sort(times.begin(), times.end());
    const double median = times[runs / 2];
    std::printf("  median %.3f s (limit %.1f s)%s\n", median, limitSeconds, median > limitSeconds ? "  OVER" : "");

    const auto* field = titled(tree, "Message");
    if (field == nullptr) {
        std::printf("desktop_bench: no line edit in the tree\n");
        return 1;
    }
    double x = 0, y = 0, width = 0, height = 0;
    std::sscanf(member(*field, "frame")->stringValue()->c_str(), "(%lf, %lf, %lf, %lf)", &x, &y, &width, &height);
    call(tools, "macos_click_element", {{"x", x + width / 2}, {"y", y + height / 2}});
    std::string ascii;
    for (int index = 0; index < typedCount; ++index) {
        ascii.push_back(static_cast<char>('a' + index % 26));
    }
    const std::string cyrillic = cyrillicText(typedCount);
    const std::string longCyrillic = cyrillicText(longTypedCount);
    bool typed = timeTyping(tools, window, "ASCII characters", typedCount, "", ascii);
    typed = timeTyping(tools, window, "Cyrillic characters of 37 letters", typedCount, ascii, cyrillic) && typed;
    typed = timeTyping(tools, window, "Cyrillic characters in one call", longTypedCount, ascii + cyrillic,
                       longCyrillic, longTypingLimitSeconds) &&
            typed;
    std::vector<const char*> manyLetters(std::begin(cyrillicLetters), std::end(cyrillicLetters));
    manyLetters.insert(manyLetters.end(), std::begin(greekLetters), std::end(greekLetters));
    // A window far behind may read some of these on keys that hold other
    // letters by then: only the rate counts here.
    timeTyping(tools, window, "Cyrillic and Greek characters of 61 letters", typedCount,
               ascii + cyrillic + longCyrillic, lettersText(manyLetters, typedCount));
    return median > limitSeconds || !typed ? 1 : 0;
}
