#include "platform/vision/worker/dlib_face_backend.hpp"

#include <cmath>
#include <cstring>
#include <exception>
#include <memory>

#include <dlib/array2d.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/image_processing/shape_predictor.h>
#include <dlib/image_transforms.h>
#include <opencv2/imgproc.hpp>

#include "platform/vision/vision_analyzer.hpp"
#include "platform/vision/worker/face_pose.hpp"
#include "platform/vision/worker/face_skin_tone.hpp"
#include "platform/vision/worker/networks/vision_network_catalogue.hpp"
#include "platform/vision/worker/face_descriptor_print.hpp"
#include "platform/vision/worker/normalized_rect_from_pixels.hpp"

namespace lumenary::platform::vision {

namespace {

// Below this many pixels the image is searched at twice its size: the
// detector's window is 80 px, and without it faces under that are missed.
constexpr long upsamplingPixelLimit = 2'100'000;

// The detector reports every window scoring from 0. Below this score a
// window is kept only when its face shows skin: the weakest true faces of
// the library's example photos score 0.10 to 0.3 (a face filling its
// picture, small faces in a group) and show skin over 80 % and more of
// their outline, while the name patch on a jacket scores 0.02 to 0.05 in a
// video frame and shows it over less than a fifth.
constexpr double confidentFaceScore = 0.3;
constexpr double minimumSkinToneShare = 0.5;

// The 68-point regions' sizes, the same for every face the model marks.
constexpr int eyePointCount = 6;
constexpr int nosePointCount = 9;
constexpr int outerLipsPointCount = 12;

// The margin around the landmarks' face, as a fraction of it, in the
// picture the descriptor reads: with a quarter, forehead, chin and cheeks
// are in, and the pairs of the identity photos part best (0 or a half part
// them less well).
constexpr double faceChipPadding = 0.25;

// Rows are copied between OpenCV's pictures and dlib's images byte for
// byte, each dlib row being as long as OpenCV's: its pixels are packed.
static_assert(sizeof(dlib::rgb_pixel) == 3, "dlib's RGB pixel is three bytes, as an OpenCV 8-bit RGB pixel");

dlib::array2d<unsigned char> greyOf(const cv::Mat& rgb) {
    cv::Mat grey;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    dlib::array2d<unsigned char> image(grey.rows, grey.cols);
    for (int row = 0; row < grey.rows; ++row) {
        std::memcpy(&image[row][0], grey.ptr<unsigned char>(row), static_cast<std::size_t>(grey.cols));
    }
    return image;
}

using LandmarkModel = std::shared_ptr<const dlib::shape_predictor>;

PlatformOutcome<LandmarkModel> loadLandmarkModel() {
    try {
        auto model = std::make_shared<dlib::shape_predictor>();
        dlib::deserialize(faceLandmarkModelPath) >> *model;
        return LandmarkModel(std::move(model));
    } catch (const std::exception& error) {
        return visionServiceError(500, std::string("The face landmark model could not be loaded from ") +
                                           faceLandmarkModelPath + " (the package libdlib-data installs it): " +
                                           error.what());
    }
}

// Loaded once for the process, on first use; a failure is kept too, so a
// missing model is reported on every call without reading the disk again.
const PlatformOutcome<LandmarkModel>& landmarkModel() {
    static const PlatformOutcome<LandmarkModel> model = loadLandmarkModel();
    return model;
}

struct FaceBox {
    dlib::rectangle box;
    double score = 0;
};

std::vector<FaceBox> faceBoxes(const dlib::array2d<unsigned char>& grey) {
    // The detector keeps scratch buffers, so each thread has its own.
    thread_local dlib::frontal_face_detector detector = dlib::get_frontal_face_detector();
    std::vector<dlib::rect_detection> detections;
    std::vector<FaceBox> boxes;
    if (grey.size() > upsamplingPixelLimit) {
        detector(grey, detections);
        for (const auto& detection : detections) {
            boxes.push_back({detection.rect, detection.detection_confidence});
        }
        return boxes;
    }
    dlib::array2d<unsigned char> doubled;
    const dlib::pyramid_down<2> halving;
    dlib::pyramid_up(grey, doubled, halving);
    detector(doubled, detections);
    for (const auto& detection : detections) {
        boxes.push_back({halving.rect_down(detection.rect), detection.detection_confidence});
    }
    return boxes;
}

// Whether a window the detector scored `score` is a face, its landmarks
// (in `rgb`'s pixels) placed.
bool plausibleFace(const cv::Mat& rgb, const std::vector<cv::Point2f>& landmarks, double score) {
    if (score >= confidentFaceScore) {
        return true;
    }
    // A grey picture cannot be judged by colour: the detector's word holds.
    const auto skin = skinToneShare(rgb, landmarks);
    return !skin || *skin >= minimumSkinToneShare;
}

std::optional<DetectedFace> detectedFace(const dlib::full_object_detection& shape, cv::Size imageSize) {
    DetectedFace face;
    for (unsigned long index = 0; index < shape.num_parts(); ++index) {
        const auto& point = shape.part(index);
        face.landmarks.emplace_back(static_cast<float>(point.x()), static_cast<float>(point.y()));
    }
    const auto pose = facePose(face.landmarks);
    if (!pose) {
        return std::nullopt;
    }
    const auto& box = shape.get_rect();
    face.observation.boundingBox =
        normalizedRectFromPixels(static_cast<double>(box.left()), static_cast<double>(box.top()),
                                 static_cast<double>(box.right() + 1), static_cast<double>(box.bottom() + 1), imageSize);
    face.observation.roll = pose->roll;
    face.observation.yaw = pose->yaw;
    face.observation.landmarks = FaceLandmarksSummary{eyePointCount, eyePointCount, nosePointCount, outerLipsPointCount};
    return face;
}

class DlibFaceBackend final : public FaceBackend {
public:
    PlatformOutcome<std::vector<DetectedFace>> detect(const cv::Mat& rgb) override {
        const auto& model = landmarkModel();
        if (!model) {
            return model.error();
        }
        std::vector<DetectedFace> faces;
        if (rgb.empty()) {
            return faces;
        }
        const auto grey = greyOf(rgb);
        for (const auto& found : faceBoxes(grey)) {
            // A box the model cannot place points in is no face to report.
            auto face = detectedFace((*model.value())(grey, found.box), rgb.size());
            if (face && plausibleFace(rgb, face->landmarks, found.score)) {
                faces.push_back(std::move(*face));
            }
        }
        return faces;
    }

    PlatformOutcome<FaceFeaturePrint> print(const cv::Mat& rgb, const std::vector<cv::Point2f>& landmarks) override {
        if (landmarks.size() != faceLandmarkCount || rgb.empty() || rgb.type() != CV_8UC3) {
            return visionServiceError(500, "Failed to generate feature print");
        }
        std::vector<dlib::point> parts;
        for (const auto& point : landmarks) {
            if (!std::isfinite(point.x) || !std::isfinite(point.y)) {
                return visionServiceError(500, "Failed to generate feature print");
            }
            parts.emplace_back(std::lround(point.x), std::lround(point.y));
        }
        dlib::array2d<dlib::rgb_pixel> image(rgb.rows, rgb.cols);
        for (int row = 0; row < rgb.rows; ++row) {
            std::memcpy(&image[row][0], rgb.ptr<unsigned char>(row), static_cast<std::size_t>(rgb.cols) * 3);
        }
        const dlib::full_object_detection shape(dlib::get_rect(image), parts);
        dlib::array2d<dlib::rgb_pixel> chip;
        dlib::extract_image_chip(image, dlib::get_face_chip_details(shape, faceChipSide, faceChipPadding), chip);
        cv::Mat aligned(static_cast<int>(chip.nr()), static_cast<int>(chip.nc()), CV_8UC3);
        for (int row = 0; row < aligned.rows; ++row) {
            std::memcpy(aligned.ptr<unsigned char>(row), &chip[row][0], static_cast<std::size_t>(aligned.cols) * 3);
        }
        auto print = faceDescriptorPrint(aligned);
        if (!print) {
            return print.error();
        }
        return print;
    }

    std::optional<PlatformError> printingUnavailable() override {
        auto network = VisionNetworkStore::shared().network(faceDescriptorNetwork);
        if (!network) {
            return network.error();
        }
        return std::nullopt;
    }
};

}  // namespace

FaceBackend& dlibFaceBackend() {
    static DlibFaceBackend backend;
    return backend;
}

}  // namespace lumenary::platform::vision
