#include "mcp/core/classified_envelopes.hpp"

#include "mcp/core/coders.hpp"

namespace lumenary::mcp {

namespace {

std::string takeMethod(Value::Object& members) {
    Value& method = members.find("method")->second;
    if (auto* text = method.stringValue()) {
        return std::move(*text);
    }
    return *jsonText(method);
}

Value takeParameters(Value::Object& members) {
    const auto found = members.find("params");
    return found == members.end() ? Value() : std::move(found->second);
}

}  // namespace

Request<AnyMethod> takeClassifiedRequest(Value& message, ID id) {
    auto& members = *message.objectValue();
    auto method = takeMethod(members);
    return Request<AnyMethod>(std::move(id), std::move(method), takeParameters(members));
}

Message<AnyNotification> takeClassifiedNotification(Value& message) {
    auto& members = *message.objectValue();
    auto method = takeMethod(members);
    return Message<AnyNotification>(std::move(method), takeParameters(members));
}

}  // namespace lumenary::mcp
