#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>

#include <opencv2/core.hpp>

#include "platform/vision/worker/dlib_example_photos.hpp"
#include "platform/vision/worker/face_analysis.hpp"
#include "platform/vision/worker/dlib_face_backend.hpp"
#include "platform/vision/worker/rotated_image.hpp"

// The real detector, landmark model and print on real photos. Each test
// loads the landmark model, so the cases are few and each checks much.
namespace lumenary::platform::vision {
namespace {

using vision_test::annotatedFacePhotos;
using vision_test::identityPhotos;
using vision_test::photo;

cv::Rect2d pixelBox(const NormalizedRect& box, cv::Size size) {
    return {box.x * size.width, (1 - box.y - box.height) * size.height, box.width * size.width,
            box.height * size.height};
}

double overlap(const cv::Rect2d& first, const cv::Rect2d& second) {
    const double shared = (first & second).area();
    return shared / (first.area() + second.area() - shared);
}

std::vector<FaceObservation> facesIn(const cv::Mat& image) {
    auto faces = detectFaces(image);
    if (!faces) {
        ADD_FAILURE() << faces.error().description;
        return {};
    }
    return faces.value();
}

TEST(DlibFaceBackend, FindsTheMarkedFacesUprightAndTurnedWithLandmarksAndAYawThatAMirrorTurnsAround) {
    int marked = 0;
    int found = 0;
    int falsePositives = 0;
    int foundTurned = 0;
    int yawCompared = 0;
    int yawOpposite = 0;
    for (const auto& annotated : annotatedFacePhotos()) {
        const auto image = photo(annotated.path);
        const auto faces = facesIn(image);
        std::vector<bool> matched(annotated.faces.size(), false);
        for (const auto& face : faces) {
            ASSERT_TRUE(face.landmarks);
            EXPECT_EQ(face.landmarks->leftEyeCount, 6);
            EXPECT_EQ(face.landmarks->rightEyeCount, 6);
            EXPECT_EQ(face.landmarks->nosePointCount, 9);
            EXPECT_EQ(face.landmarks->mouthPointCount, 12);
            const auto box = pixelBox(face.boundingBox, image.size());
            bool isMarked = false;
            for (std::size_t index = 0; index < annotated.faces.size(); ++index) {
                if (!matched[index] && overlap(box, cv::Rect2d(annotated.faces[index])) >= 0.3) {
                    matched[index] = isMarked = true;
                    break;
                }
            }
            falsePositives += isMarked ? 0 : 1;
        }
        marked += static_cast<int>(annotated.faces.size());
        found += static_cast<int>(std::count(matched.begin(), matched.end(), true));

        // Turned 20 degrees counter-clockwise: a marked face counts as found
        // when a face's box holds its turned centre.
        const auto turned = rotateImage(image, 20 * std::numbers::pi / 180);
        const auto turnedFaces = facesIn(turned.image);
        for (const auto& face : annotated.faces) {
            const cv::Point2d centre(face.x + face.width / 2.0, face.y + face.height / 2.0);
            const cv::Matx31d homogeneous(centre.x, centre.y, 1.0);
            const auto moved = turned.transform * homogeneous;
            foundTurned += std::any_of(turnedFaces.begin(), turnedFaces.end(), [&](const FaceObservation& seen) {
                return pixelBox(seen.boundingBox, turned.image.size()).contains(cv::Point2d(moved(0), moved(1)));
            });
        }

        cv::Mat mirrored;
        cv::flip(image, mirrored, 1);
        const auto mirroredFaces = facesIn(mirrored);
        for (const auto& face : faces) {
            const auto box = pixelBox(face.boundingBox, image.size());
            const cv::Point2d mirroredCentre(image.cols - (box.x + box.width / 2), box.y + box.height / 2);
            for (const auto& other : mirroredFaces) {
                if (pixelBox(other.boundingBox, image.size()).contains(mirroredCentre) && std::abs(*face.yaw) > 0.1) {
                    ++yawCompared;
                    yawOpposite += (*face.yaw > 0) != (*other.yaw > 0);
                }
            }
        }
    }
    EXPECT_EQ(marked, 43);
    EXPECT_GE(found, 40);
    EXPECT_LE(falsePositives, 2);
    EXPECT_GE(foundTurned, 37);
    EXPECT_GE(yawCompared, 10);
    EXPECT_EQ(yawOpposite, yawCompared);
}

TEST(DlibFaceBackend, AFaceTurnedByARollReportsItAndIsSetUprightBeforeItIsPrinted) {
    const double turn = 0.4;
    int faces = 0;
    int straightened = 0;
    // Four photos of each person keep the case short; the whole set behaves
    // alike.
    for (const auto& [person, paths] : identityPhotos()) {
        for (const auto& path : std::vector(paths.begin(), paths.begin() + 4)) {
            const auto upright = photo(path);
            const auto before = facesIn(upright);
            const auto turned = rotateImage(upright, turn).image;
            const auto after = facesIn(turned);
            if (before.size() != 1 || after.size() != 1) {
                continue;
            }
            ++faces;
            // The subject's own tilt is taken out: only the turn counts.
            EXPECT_NEAR(*after.front().roll - *before.front().roll, turn, 0.12) << path;

            std::ostringstream console;
            const auto print = generateFaceFeature(turned, dlibFaceBackend(), console);
            const auto reference = generateFaceFeature(upright);
            ASSERT_TRUE(print && print.value() && reference && reference.value()) << path;
            if (std::abs(*after.front().roll) > faceRollCorrectionThreshold) {
                EXPECT_TRUE(console.str().starts_with("Face rotation detected (roll: 0.")) << console.str();
                ++straightened;
            }
            EXPECT_GE(1 - *faceFeatureDistance(*print.value(), *reference.value()), 0.6) << path;
        }
    }
    EXPECT_GE(faces, 18);
    EXPECT_GE(straightened, 15);
}

TEST(DlibFaceBackend, ThePrintTellsPeopleApartAsCalibrated) {
    std::vector<std::pair<std::string, FaceFeaturePrint>> prints;
    for (const auto& [person, paths] : identityPhotos()) {
        for (const auto& path : paths) {
            auto print = generateFaceFeature(photo(path));
            ASSERT_TRUE(print && print.value()) << path;
            prints.emplace_back(person, std::move(*print.value()));
        }
    }
    ASSERT_EQ(prints.size(), 55U);
    std::vector<double> same;
    std::vector<double> different;
    for (std::size_t first = 0; first < prints.size(); ++first) {
        for (std::size_t second = first + 1; second < prints.size(); ++second) {
            const double similarity = 1 - *faceFeatureDistance(prints[first].second, prints[second].second);
            (prints[first].first == prints[second].first ? same : different).push_back(similarity);
        }
    }
    double wins = 0;
    for (const double match : same) {
        for (const double mismatch : different) {
            wins += match > mismatch ? 1.0 : match == mismatch ? 0.5 : 0.0;
        }
    }
    const double areaUnderCurve = wins / static_cast<double>(same.size() * different.size());
    const auto matching = [](const std::vector<double>& similarities) {
        return static_cast<double>(std::count_if(similarities.begin(), similarities.end(),
                                                 [](double similarity) { return similarity >= 0.6; })) /
               static_cast<double>(similarities.size());
    };
    // Every pair of the 55 photos: 275 of the same person, 1210 of two.
    ASSERT_EQ(same.size(), 275U);
    ASSERT_EQ(different.size(), 1210U);
    EXPECT_GE(areaUnderCurve, 0.99);
    EXPECT_GE(matching(same), 0.9) << "area under the curve: " << areaUnderCurve;
    EXPECT_LE(matching(different), 0.01) << "area under the curve: " << areaUnderCurve;
}

}  // namespace
}  // namespace lumenary::platform::vision
