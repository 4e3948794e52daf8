#include "mcp/core/response.hpp"

namespace lumenary::mcp {

namespace {

void appendID(std::string& out, const ID& id, JSONWriteOptions options) {
    if (const auto* text = id.stringValue()) {
        appendJSONString(out, *text, options);
    } else {
        appendJSON(out, Value(*id.numberValue()), options);
    }
}

}  // namespace

// The writer orders keys bytewise: "error" < "id" < "jsonrpc" < "result".
void appendResponseJSON(std::string& out, const Response<AnyMethod>& response, JSONWriteOptions options) {
    JSONWriteOptions inside = options;
    inside.enclosingDepth = options.enclosingDepth + 1;
    if (const auto* result = response.value()) {
        out += R"({"id":)";
        appendID(out, response.id, options);
        out += R"(,"jsonrpc":"2.0","result":)";
        appendJSON(out, *result, inside);
        out += '}';
        return;
    }
    out += R"({"error":)";
    appendJSON(out, encodeValue(*response.error()), inside);
    out += R"(,"id":)";
    appendID(out, response.id, options);
    out += R"(,"jsonrpc":"2.0"})";
}

}  // namespace lumenary::mcp
