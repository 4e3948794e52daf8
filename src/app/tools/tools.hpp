#pragma once

// The local tool service: what a tool is, what a category offers, and the
// service that lists, dispatches, counts and records tool calls.
#include "app/tools/mcp_tool.hpp"             // MCPTool: one tool's descriptor
#include "app/tools/plain_value.hpp"          // PlainValue, PlainDictionary: schemas and arguments
#include "app/tools/tool_arguments.hpp"       // textArgument, integerArgument, ...: an argument of the expected kind
#include "app/tools/tool_category.hpp"        // ToolCategory: the contract of a category; EmptyToolCategory
#include "app/tools/tool_category_table.hpp"  // ToolCategoryKind, the category table and both orders
#include "app/tools/tool_error.hpp"           // ToolError: domain, code, description
#include "app/tools/tool_outcome.hpp"         // ToolOutcome: a call's value or its ToolError

#include "app/tools/local_tool_service.hpp"  // LocalToolService: switches, catalogue, dispatch, counting
#include "app/tools/tool_call_record.hpp"    // ToolCallRecord, CategoryCallSummary and their stored form
