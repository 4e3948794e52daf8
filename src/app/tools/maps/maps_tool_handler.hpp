#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/tools/maps/maps_service.hpp"
#include "app/tools/tool_category.hpp"

namespace lumenary::app {

// The maps category: search_locations answers a pretty-printed JSON array
// of {"name", "address"}, get_directions a route line, open_map shows a
// place through the desktop's link handler.
class MapsToolHandler final : public ToolCategory {
public:
    explicit MapsToolHandler(std::shared_ptr<MapsService> service);

    std::vector<MCPTool> tools() const override;
    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override;

private:
    asio::awaitable<ToolOutcome<std::string>> searchLocations(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> getDirections(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> openMap(const PlainDictionary& arguments);

    std::shared_ptr<MapsService> service_;
};

}  // namespace lumenary::app
