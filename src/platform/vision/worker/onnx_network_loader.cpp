#include "platform/vision/worker/onnx_network_loader.hpp"

#include <cstring>
#include <exception>
#include <new>

#include "platform/files/bounded_file_reader.hpp"
#include "platform/vision/worker/networks/own_network_layers.hpp"

namespace lumenary::platform::vision {
namespace {

std::string loadFailure(const BoundedReadFailure& failure) {
    switch (failure.reason) {
        case BoundedReadFailure::Reason::cannotOpen:
            return std::string("it cannot be opened (") + std::strerror(failure.errorNumber) + ")";
        case BoundedReadFailure::Reason::cannotRead:
            return std::string("it cannot be read (") + std::strerror(failure.errorNumber) + ")";
        case BoundedReadFailure::Reason::notRegularFile: return "it is not a regular file";
        case BoundedReadFailure::Reason::tooLarge: return "it is larger than any network";
    }
    return "it cannot be read";
}

}  // namespace

std::variant<std::unique_ptr<cv::dnn::Net>, std::string> loadedOnnxNetwork(const std::filesystem::path& path,
                                                                           const OnnxNetworkOptions& options) {
    auto bytes = readBoundedBytes(path, maximumOnnxModelBytes);
    if (const auto* failure = std::get_if<BoundedReadFailure>(&bytes)) {
        return loadFailure(*failure);
    }
    auto rewritten = onnxForOpenCV(std::get<std::string>(bytes), options.rewrite);
    if (!rewritten) {
        return rewritten.error().description;
    }
    try {
        if (options.rewrite.ownLayers) {
            registerOwnNetworkLayers();
        }
        auto net = std::make_unique<cv::dnn::Net>(
            cv::dnn::readNetFromONNX(rewritten.value().data(), rewritten.value().size()));
        if (net->empty()) {
            return std::string("OpenCV made an empty network of it");
        }
        net->setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        net->setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
        net->enableFusion(options.fuseLayers);
        return net;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        return std::string("OpenCV refused it: ") + error.what();
    }
}

}  // namespace lumenary::platform::vision
