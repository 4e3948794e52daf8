#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/tools/desktop/macos_control_service.hpp"
#include "app/tools/tool_category.hpp"

namespace lumenary::app {

// The desktop-control category: check the permission, list the running
// applications, read one application's element tree, click at a screen
// point, type text. Every tool first runs the trust check; a denial is an
// ordinary result text that says what is missing, not an error.
class MacOSControlToolHandler final : public ToolCategory {
public:
    // A call types at most this many code points: each takes a key press
    // and a pause, so a larger text would hold the desktop for minutes.
    static constexpr std::size_t typedCharacterLimit = 10'000;

    explicit MacOSControlToolHandler(std::shared_ptr<MacOSControlService> service);

    std::vector<MCPTool> tools() const override;
    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override;

private:
    asio::awaitable<ToolOutcome<std::string>> listApps();
    asio::awaitable<ToolOutcome<std::string>> getUITree(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> clickElement(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> typeText(const PlainDictionary& arguments);

    std::shared_ptr<MacOSControlService> service_;
};

}  // namespace lumenary::app
