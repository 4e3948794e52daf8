// The ONNX rewrite takes any bytes as a model file: it never fails on them
// but with an error, what it gives back reads as well-formed fields down to
// the graph's nodes, and rewriting that again changes nothing (each Clip and
// Constant it can rewrite is rewritten in one pass); so does the rewrite
// into our own layers.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_check.hpp"
#include "platform/vision/worker/networks/onnx_graph.hpp"
#include "platform/vision/worker/networks/protobuf_reader.hpp"

using namespace lumenary::platform::vision;

namespace {

bool wellFormed(std::string_view message) {
    ProtobufReader reader(message);
    while (reader.next()) {
    }
    return !reader.malformed();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view model(reinterpret_cast<const char*>(data), size);
    const auto rewritten = onnxForOpenCV(model);
    if (!rewritten) {
        LUMENARY_FUZZ_CHECK(!rewritten.error().description.empty());
        return 0;
    }
    LUMENARY_FUZZ_CHECK(wellFormed(rewritten.value()));
    ProtobufReader reader(rewritten.value());
    while (const auto field = reader.next()) {
        if (field->number == 7) {
            LUMENARY_FUZZ_CHECK(wellFormed(field->bytes));
        }
    }
    const auto again = onnxForOpenCV(rewritten.value());
    LUMENARY_FUZZ_CHECK(again && again.value() == rewritten.value());
    // A fixed input and axes for vector products, as the recognition
    // network is given them.
    const auto sized = onnxForOpenCV(model, {std::vector<std::int64_t>{1, 3, 48, 320}, 3});
    if (sized) {
        LUMENARY_FUZZ_CHECK(wellFormed(sized.value()));
    }
    // Our own layers, as the text networks ask for them: the graph is
    // planned as a whole, so a second pass finds nothing more to fold.
    const OnnxRewrite ownLayers{.inputShape = {}, .vectorScaledRank = {}, .ownLayers = true};
    const auto own = onnxForOpenCV(model, ownLayers);
    if (own) {
        LUMENARY_FUZZ_CHECK(wellFormed(own.value()));
        const auto ownAgain = onnxForOpenCV(own.value(), ownLayers);
        LUMENARY_FUZZ_CHECK(ownAgain && ownAgain.value() == own.value());
    }
    return 0;
}
