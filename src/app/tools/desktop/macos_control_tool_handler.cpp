#include "app/tools/desktop/macos_control_tool_handler.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "app/tools/desktop/desktop_json.hpp"
#include "app/tools/tool_arguments.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/value.hpp"
#include "system/utf8.hpp"

namespace lumenary::app {

namespace {

const std::string permissionGranted = "Permission Granted";

std::string shortDenial(const std::string& reasons) {
    return "Permission Denied. " + reasons;
}

// What every tool but the check answers without the desktop.
std::string denial(const std::string& reasons) {
    return "Permission Denied. 'Lumenary' needs an X display with XTest and the accessibility bus. " + reasons;
}

ToolError argumentError(std::string description) {
    return ToolError("LocalTool", 400, std::move(description));
}

// The code points of well-formed UTF-8.
std::u32string codePoints(std::string_view text) {
    std::u32string points;
    points.reserve(text.size());
    for (std::size_t index = 0; index < text.size();) {
        const auto lead = static_cast<unsigned char>(text[index]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t point = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        for (std::size_t next = 1; next < length && index + next < text.size(); ++next) {
            point = (point << 6) | (static_cast<unsigned char>(text[index + next]) & 0x3F);
        }
        points.push_back(point);
        index += length;
    }
    return points;
}

// The byte at which the code point numbered `count` starts in well-formed
// UTF-8 (the text's end when it has no more).
std::size_t byteOffset(std::string_view text, std::size_t count) {
    std::size_t index = 0;
    for (; count > 0 && index < text.size(); --count) {
        const auto lead = static_cast<unsigned char>(text[index]);
        index += lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    }
    return std::min(index, text.size());
}

// What was typed and what was not, and why.
ToolError typingStopped(std::string_view text, std::size_t total, const platform::TypingOutcome& outcome) {
    const std::size_t split = byteOffset(text, outcome.typed);
    return ToolError("MacOSControlTool", 500,
                     "Stopped typing after " + std::to_string(outcome.typed) + " of " + std::to_string(total) +
                         " characters: typed \"" + std::string(text.substr(0, split)) + "\", not typed \"" +
                         std::string(text.substr(split)) + "\". " + outcome.stopReason.value_or(""));
}

}  // namespace

MacOSControlToolHandler::MacOSControlToolHandler(std::shared_ptr<MacOSControlService> service)
    : service_(std::move(service)) {}

asio::awaitable<ToolOutcome<std::string>> MacOSControlToolHandler::handle(std::string name,
                                                                          PlainDictionary arguments) {
    const auto refusal = co_await service_->trustRefusal();
    if (name == "macos_check_permission") {
        co_return refusal ? shortDenial(*refusal) : permissionGranted;
    }
    if (refusal && (name == "macos_list_apps" || name == "macos_get_ui_tree" || name == "macos_click_element" ||
                    name == "macos_type_text")) {
        co_return denial(*refusal);
    }
    if (name == "macos_list_apps") {
        co_return co_await listApps();
    }
    if (name == "macos_get_ui_tree") {
        co_return co_await getUITree(arguments);
    }
    if (name == "macos_click_element") {
        co_return co_await clickElement(arguments);
    }
    if (name == "macos_type_text") {
        co_return co_await typeText(arguments);
    }
    co_return ToolError("MacOSControlTool", 404, "Unknown macOS control tool: " + name);
}

asio::awaitable<ToolOutcome<std::string>> MacOSControlToolHandler::listApps() {
    const auto apps = co_await service_->listRunningApps();
    try {
        co_return appsJSON(apps);
    } catch (const mcp::EncodingError&) {
        co_return std::string("Failed to list apps");
    }
}

asio::awaitable<ToolOutcome<std::string>> MacOSControlToolHandler::getUITree(const PlainDictionary& arguments) {
    const auto pid = integerArgument(arguments, "pid");
    // A process id beyond 32 bits names no process; it must not wrap
    // around to one that exists.
    if (!pid || *pid < std::numeric_limits<std::int32_t>::min() || *pid > std::numeric_limits<std::int32_t>::max()) {
        co_return argumentError("Missing 'pid' argument or invalid type");
    }
    const auto tree = co_await service_->getUIElementTree(static_cast<pid_t>(*pid));
    try {
        co_return elementJSON(tree);
    } catch (const mcp::EncodingError&) {
        co_return std::string("Failed to encode UI tree");
    }
}

asio::awaitable<ToolOutcome<std::string>> MacOSControlToolHandler::clickElement(const PlainDictionary& arguments) {
    // A whole coordinate arrives as an integer; both kinds are numbers.
    const auto x = numberArgument(arguments, "x");
    const auto y = numberArgument(arguments, "y");
    if (!x || !y) {
        co_return argumentError("Missing 'x' or 'y' argument");
    }
    const auto clicked = co_await service_->click(*x, *y);
    const std::string point = "(" + mcp::doubleText(*x) + ", " + mcp::doubleText(*y) + ")";
    switch (clicked.result) {
        case MacOSControlService::ClickResult::clicked:
            co_return "Clicked at " + point;
        case MacOSControlService::ClickResult::offScreen:
            co_return argumentError("Point " + point + " is not on the screen, which is " +
                                    std::to_string(clicked.screen.width) + " by " +
                                    std::to_string(clicked.screen.height) + " pixels");
        case MacOSControlService::ClickResult::undeliverable:
            break;
    }
    // The display went away after the trust check.
    const auto refusal = co_await service_->trustRefusal();
    co_return denial(refusal.value_or("The X display stopped answering."));
}

asio::awaitable<ToolOutcome<std::string>> MacOSControlToolHandler::typeText(const PlainDictionary& arguments) {
    const auto text = textArgument(arguments, "text");
    if (!text) {
        co_return argumentError("Missing 'text' argument");
    }
    const std::string repaired = system::repairUTF8(*text);
    auto points = codePoints(repaired);
    const std::size_t total = points.size();
    if (total > typedCharacterLimit) {
        co_return argumentError("Text too long to type: " + std::to_string(total) + " characters, at most " +
                                std::to_string(typedCharacterLimit) + " per call");
    }
    const auto typed = co_await service_->typeText(std::move(points));
    if (typed.stopReason) {
        co_return typingStopped(repaired, total, typed);
    }
    co_return "Typed: " + *text;
}

}  // namespace lumenary::app
