// The JSON-RPC message classifier on every value the reader accepts, and on
// each element of a batch.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/message_classification.hpp"

using namespace lumenary::mcp;

namespace {

void classify(const Value& message) {
    const MessageClassification classification = classifyMessage(message);
    switch (classification.kind) {
        case MessageKind::request:
        case MessageKind::response:
        case MessageKind::errorResponse:
            LUMENARY_FUZZ_CHECK(classification.id.has_value());
            break;
        case MessageKind::notification:
        case MessageKind::batch:
            LUMENARY_FUZZ_CHECK(!classification.answeredUnder().has_value());
            break;
        case MessageKind::invalid:
            break;
    }
    if (classification.kind == MessageKind::batch) {
        for (const Value& element : *message.arrayValue()) classify(element);
    }
    if (const Value* id = message.find("id")) {
        (void)requestIDFrom(*id);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        classify(parseJSON(std::string_view(reinterpret_cast<const char*>(data), size)));
    } catch (const DecodingError&) {
    }
    return 0;
}
