#include "app/tools/maps/maps_tool_handler.hpp"

#include "app/tools/tool_arguments.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::app {

namespace {

constexpr std::int64_t defaultPlaceLimit = 10;

ToolError mapsRefusal(std::int64_t code, std::string description) {
    return ToolError("MapsTool", code, std::move(description));
}

std::string locationsJSON(const std::vector<MapsService::MapLocation>& locations) {
    mcp::Value::Array array;
    array.reserve(locations.size());
    for (const auto& location : locations) {
        array.push_back(mcp::Value::object({{"name", location.name}, {"address", location.address}}));
    }
    try {
        return mcp::writeJSON(mcp::Value(std::move(array)),
                              mcp::JSONWriteOptions{.escapeSlashes = true, .prettyPrinted = true});
    } catch (const mcp::EncodingError&) {
        return "[]";
    }
}

}  // namespace

MapsToolHandler::MapsToolHandler(std::shared_ptr<MapsService> service) : service_(std::move(service)) {}

asio::awaitable<ToolOutcome<std::string>> MapsToolHandler::handle(std::string name, PlainDictionary arguments) {
    if (name == "search_locations") {
        co_return co_await searchLocations(arguments);
    }
    if (name == "get_directions") {
        co_return co_await getDirections(arguments);
    }
    if (name == "open_map") {
        co_return co_await openMap(arguments);
    }
    co_return mapsRefusal(404, "Unknown maps tool: " + name);
}

asio::awaitable<ToolOutcome<std::string>> MapsToolHandler::searchLocations(const PlainDictionary& arguments) {
    auto query = textArgument(arguments, "query");
    if (!query) {
        co_return mapsRefusal(400, "Missing query");
    }
    const auto limit = integerArgument(arguments, "limit").value_or(defaultPlaceLimit);
    auto locations = co_await service_->searchLocations(std::move(*query), limit);
    if (!locations) {
        co_return locations.error();
    }
    co_return locationsJSON(locations.value());
}

asio::awaitable<ToolOutcome<std::string>> MapsToolHandler::getDirections(const PlainDictionary& arguments) {
    auto from = textArgument(arguments, "from");
    auto to = textArgument(arguments, "to");
    if (!from || !to) {
        co_return mapsRefusal(400, "Missing from/to");
    }
    co_return co_await service_->getDirections(std::move(*from), std::move(*to),
                                               textArgument(arguments, "transport").value_or("automobile"));
}

asio::awaitable<ToolOutcome<std::string>> MapsToolHandler::openMap(const PlainDictionary& arguments) {
    auto query = textArgument(arguments, "query");
    if (!query) {
        co_return mapsRefusal(400, "Missing query");
    }
    co_return co_await service_->openMap(std::move(*query));
}

}  // namespace lumenary::app
