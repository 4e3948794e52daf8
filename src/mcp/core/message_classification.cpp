#include "mcp/core/message_classification.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/core/envelope_coding.hpp"
#include "mcp/core/value_conversions.hpp"

namespace lumenary::mcp {

std::optional<ID> requestIDFrom(const Value& value) {
    if (auto text = jsonText(value)) {
        return ID(std::move(*text));
    }
    if (value.isNull()) {
        return ID(std::string());
    }
    if (value.kind() == Value::Kind::integer || value.kind() == Value::Kind::number) {
        if (auto number = integerFrom(value, false)) {
            return ID(*number);
        }
    }
    return std::nullopt;
}

MessageClassification classifyMessage(const Value& message) {
    if (message.arrayValue() != nullptr) {
        return {MessageKind::batch, std::nullopt};
    }
    if (message.objectValue() == nullptr) {
        return {};
    }
    const Value* idMember = message.find("id");
    std::optional<ID> id = idMember != nullptr ? requestIDFrom(*idMember) : std::nullopt;
    const bool idIsNull = idMember != nullptr && idMember->isNull();
    const auto invalid = [&] {
        return MessageClassification{MessageKind::invalid, idIsNull ? std::nullopt : std::move(id)};
    };

    const Value* version = message.find("jsonrpc");
    const std::string* versionText = version != nullptr ? version->stringValue() : nullptr;
    if (versionText == nullptr || *versionText != envelope::jsonrpcVersion) {
        return invalid();
    }
    if (const Value* method = message.find("method")) {
        if (!jsonText(*method)) {
            return invalid();
        }
        if (idMember == nullptr) {
            return {MessageKind::notification, std::nullopt};
        }
        return id ? MessageClassification{MessageKind::request, std::move(id)} : invalid();
    }
    if (!id) {
        return invalid();
    }
    if (message.find("result") != nullptr) {
        return {MessageKind::response, std::move(id), idIsNull};
    }
    if (message.find("error") != nullptr) {
        return {MessageKind::errorResponse, std::move(id), idIsNull};
    }
    return invalid();
}

}  // namespace lumenary::mcp
