#pragma once

#include <QString>

#include "app/tools/tool_category_table.hpp"

namespace lumenary::app::ui {

// The key of a tool category's picture ("calendar", "reminders", ...), the
// same wherever the panel shows the category.
QString categoryIconName(ToolCategoryKind kind);

}  // namespace lumenary::app::ui
