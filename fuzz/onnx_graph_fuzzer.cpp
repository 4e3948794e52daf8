// The ONNX rewrite takes any bytes as a model file: it never fails on them
// but with an error, what it gives back reads as well-formed fields down to
// the graph's nodes, and rewriting that again changes nothing (each Clip and
// Constant it can rewrite is rewritten in one pass); so does the rewrite
// into our own layers. A graph of our layers alone that OpenCV loads runs
// forward on a small input: a shape the rewrite lets through that the
// layer cannot compute shows as a read outside its buffers under the
// sanitizers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/dnn.hpp>

#include "fuzz_check.hpp"
#include "platform/vision/worker/networks/onnx_graph.hpp"
#include "platform/vision/worker/networks/own_network_layers.hpp"
#include "platform/vision/worker/networks/protobuf_reader.hpp"

using namespace lumenary::platform::vision;

namespace {

bool wellFormed(std::string_view message) {
    ProtobufReader reader(message);
    while (reader.next()) {
    }
    return !reader.malformed();
}

// Whether an initializer's fields hold a float tensor with as many numbers
// as its dimensions say (in its raw bytes when it has them, which the
// importer then reads alone), and its name when they do.
std::optional<std::string_view> wholeFloatTensor(std::string_view tensor) {
    std::uint64_t expected = 1;
    std::uint64_t listed = 0;
    std::optional<std::size_t> rawBytes;
    std::uint64_t type = 0;
    std::optional<std::string_view> name;
    ProtobufReader reader(tensor);
    while (const auto field = reader.next()) {
        if (field->number == 1 && field->wireType == 0) {
            if (field->value > 1U << 20 || (expected *= field->value) > 1U << 20) {
                return std::nullopt;
            }
        } else if (field->number == 2 && field->wireType == 0) {
            type = field->value;
        } else if (field->number == 4 && field->wireType == 2 && field->bytes.size() % 4 == 0) {
            listed += field->bytes.size() / 4;
        } else if (field->number == 4 && field->wireType == 5) {
            ++listed;
        } else if (field->number == 9 && field->wireType == 2 && !rawBytes) {
            rawBytes = field->bytes.size();
        } else if (field->number == 8 && field->wireType == 2) {
            name = field->bytes;
        } else if (field->number == 1 || field->number == 2 || field->number == 4 || field->number == 9) {
            return std::nullopt;
        }
    }
    const bool whole = rawBytes ? *rawBytes == expected * 4 : listed == expected;
    if (reader.malformed() || type != 1 || !whole) {
        return std::nullopt;
    }
    return name;
}

// OpenCV's importer trusts a graph: a node reading a tensor that nothing
// before it gives, a constant holding fewer numbers than its dimensions say
// or a convolution of group 0 takes it past its buffers or divides by zero.
// Such a model is the worker process's to contain; the importer here is
// handed only graphs of our layers alone, free of the first two, so that
// what is found is found in our layers.
bool onlyOurLayersTrusted(std::string_view model) {
    std::set<std::string_view> given{""};
    std::vector<std::string_view> nodes;
    ProtobufReader modelReader(model);
    while (const auto modelField = modelReader.next()) {
        if (modelField->number != 7) {
            continue;
        }
        ProtobufReader graph(modelField->bytes);
        while (const auto field = graph.next()) {
            if (field->number == 1) {
                nodes.push_back(field->bytes);
            } else if (field->number == 5) {
                const auto name = wholeFloatTensor(field->bytes);
                if (!name) {
                    return false;
                }
                given.insert(*name);
            } else if (field->number == 11) {
                ProtobufReader input(field->bytes);
                while (const auto inputField = input.next()) {
                    if (inputField->number == 1) {
                        given.insert(inputField->bytes);
                    }
                }
            }
        }
    }
    for (const std::string_view node : nodes) {
        std::vector<std::string_view> outputs;
        ProtobufReader reader(node);
        while (const auto field = reader.next()) {
            if (field->number == 1 && !given.contains(field->bytes)) {
                return false;
            }
            if (field->number == 4 && field->bytes != depthwiseConvolutionOperation &&
                field->bytes != scaledHardSwishOperation) {
                return false;
            }
            if (field->number == 2) {
                outputs.push_back(field->bytes);
            }
        }
        given.insert(outputs.begin(), outputs.end());
    }
    return true;
}

// The input fed: one picture of the channels and sides the model declares,
// each bounded so one input stays fast, a side left open as large as
// allowed; none for a model that declares no picture.
std::vector<int> fedShape(std::string_view model) {
    const auto declared = onnxInputShape(model);
    if (!declared || declared->size() != 4) {
        return {};
    }
    const std::int64_t largest[] = {1, 8, 16, 48};
    std::vector<int> shape;
    for (std::size_t axis = 0; axis < 4; ++axis) {
        const std::int64_t side = (*declared)[axis];
        shape.push_back(static_cast<int>(side > 0 ? std::min(side, largest[axis]) : largest[axis]));
    }
    return shape;
}

void runForward(const std::string& rewritten, const std::vector<int>& shape) {
    // What OpenCV does with the rest of the graph is bounded by the
    // outputs it would allocate.
    constexpr std::size_t largestOutputs = 16 * 1024 * 1024;
    static const bool ready = [] {
        cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
        cv::setNumThreads(1);
        registerOwnNetworkLayers();
        return true;
    }();
    (void)ready;
    try {
        cv::dnn::Net net = cv::dnn::readNetFromONNX(rewritten.data(), rewritten.size());
        if (net.empty()) {
            return;
        }
        std::size_t weights = 0;
        std::size_t outputs = 0;
        net.getMemoryConsumption(shape, weights, outputs);
        if (outputs > largestOutputs) {
            return;
        }
        cv::Mat input(shape, CV_32F);
        float value = -1;
        for (auto each = input.begin<float>(); each != input.end<float>(); ++each) {
            *each = value;
            value = value > 1 ? -1 : value + 0.375F;
        }
        net.setInput(input);
        net.forward();
    } catch (const cv::Exception&) {
        // Refused by OpenCV or by our layers: what a bad model should get.
    }
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
        if (const auto shape = fedShape(model); !shape.empty() && onlyOurLayersTrusted(own.value())) {
            runForward(own.value(), shape);
        }
    }
    return 0;
}
