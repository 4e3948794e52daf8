#include "mcp/server/server_batch.hpp"

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
        const auto* members = element.value().objectValue();
        if (members != nullptr && members->contains("id")) {
            batch.items.emplace_back(element.decode<Request<AnyMethod>>());
        } else {
            batch.items.emplace_back(element.decode<Message<AnyNotification>>());
        }
    }
    return batch;
}

}  // namespace lumenary::mcp
