#pragma once

#include "app/tools/local_tool_service.hpp"
#include "platform/defaults_store.hpp"

namespace lumenary::app {

// The category handlers this program offers, one per row of the category
// table, handed to the process's tool service at start. The calendar and
// reminders categories work on the folders that the environment and
// `defaults` name, read once, here.
ToolCategories standardToolCategories(const platform::DefaultsStore& defaults);

}  // namespace lumenary::app
