#pragma once

#include "mcp/core/value.hpp"

namespace lumenary::app {

// Tool schemas and call arguments are JSON-shaped, so the protocol's own
// value serves as the plain value: null is the null marker and the data case
// a byte buffer. Call arguments never hold a whole double that fits an
// integer: such numbers arrive as integers.
using PlainValue = mcp::Value;
using PlainDictionary = mcp::Value::Object;
using PlainList = mcp::Value::Array;

}  // namespace lumenary::app
