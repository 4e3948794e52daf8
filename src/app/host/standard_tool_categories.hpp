#pragma once

#include "app/tools/local_tool_service.hpp"

namespace lumenary::app {

// The category handlers this program offers, one per row of the category
// table, handed to the process's tool service at start.
ToolCategories standardToolCategories();

}  // namespace lumenary::app
