#include "mcp/server/server_batch.hpp"

#include "mcp/core/message_classification.hpp"

namespace lumenary::mcp {

Value Coder<ServerBatch>::encode(const ServerBatch& batch) {
    Value::Array items;
    items.reserve(batch.items.size());
    for (const auto& item : batch.items) {
        items.push_back(std::visit([](const auto& envelope) { return encodeValue(envelope); }, item));
    }
    return items;
}

ServerBatch Coder<ServerBatch>::decode(const Decoder& decoder) {
    const auto& elements = decoder.array();
    ServerBatch batch;
    batch.items.reserve(elements.size());
    for (std::size_t index = 0; index < elements.size(); ++index) {
        const Decoder element = decoder.element(index);
        switch (classifyMessage(element.value()).kind) {
            case MessageKind::request:
                batch.items.emplace_back(element.decode<Request<AnyMethod>>());
                break;
            case MessageKind::notification:
                batch.items.emplace_back(element.decode<Message<AnyNotification>>());
                break;
            default:
                // Neither: the envelope it comes closest to says what is wrong.
                if (element.value().objectValue() != nullptr && element.contains("id")) {
                    element.decode<Request<AnyMethod>>();
                } else {
                    element.decode<Message<AnyNotification>>();
                }
                element.failDataCorrupted("Batch item is neither a request nor a notification");
        }
    }
    return batch;
}

}  // namespace lumenary::mcp
