#include "app/tools/vision/vision_results.hpp"

#include <cmath>

#include "app/tools/vision/single_precision_value.hpp"
#include "system/utf8.hpp"

namespace lumenary::app {

namespace {

namespace vision = platform::vision;

PlainValue boundingBoxValue(const vision::NormalizedRect& box) {
    return PlainDictionary{{"x", box.x}, {"y", box.y}, {"width", box.width}, {"height", box.height}};
}

std::string repairedText(const std::string& bytes) {
    return system::repairUTF8(bytes);
}

PlainDictionary listedUnder(std::string listKey, PlainList entries) {
    const auto count = entries.size();
    return PlainDictionary{{"success", true}, {"count", count}, {std::move(listKey), std::move(entries)}};
}

PlainDictionary poseResult(std::string listKey, const std::vector<vision::PoseObservation>& observations) {
    PlainList poses;
    for (const auto& observation : observations) {
        PlainDictionary points;
        for (const auto& joint : observation.joints) {
            // Written so that a NaN confidence fails the test too.
            if (!joint.location || !(joint.confidence > 0)) {
                continue;
            }
            points[repairedText(joint.key)] = PlainDictionary{{"x", joint.location->x},
                                                              {"y", joint.location->y},
                                                              {"confidence", singlePrecisionValue(joint.confidence)}};
        }
        poses.push_back(PlainDictionary{{"confidence", singlePrecisionValue(observation.confidence)},
                                        {"points", std::move(points)}});
    }
    return listedUnder(std::move(listKey), std::move(poses));
}

}  // namespace

PlainDictionary textRecognitionResult(const std::vector<vision::TextObservation>& observations) {
    PlainList blocks;
    std::string fullText;
    for (const auto& observation : observations) {
        if (!observation.topCandidate) {
            continue;
        }
        auto line = repairedText(observation.topCandidate->text);
        if (!fullText.empty()) {
            fullText += '\n';
        }
        fullText += line;
        blocks.push_back(PlainDictionary{{"text", std::move(line)},
                                         {"confidence", singlePrecisionValue(observation.topCandidate->confidence)},
                                         {"bounding_box", boundingBoxValue(observation.boundingBox)}});
    }
    return PlainDictionary{{"success", true}, {"text_blocks", std::move(blocks)}, {"full_text", std::move(fullText)}};
}

PlainDictionary faceDetectionResult(const std::vector<vision::FaceObservation>& observations) {
    PlainList faces;
    for (const auto& face : observations) {
        PlainDictionary entry{{"bounding_box", boundingBoxValue(face.boundingBox)},
                              {"roll", face.roll ? PlainValue(*face.roll) : PlainValue(0)},
                              {"yaw", face.yaw ? PlainValue(*face.yaw) : PlainValue(0)}};
        if (face.landmarks) {
            PlainDictionary summary;
            const auto add = [&summary](const char* key, const std::optional<int>& count) {
                if (count) {
                    summary[key] = *count;
                }
            };
            add("left_eye_count", face.landmarks->leftEyeCount);
            add("right_eye_count", face.landmarks->rightEyeCount);
            add("nose_point_count", face.landmarks->nosePointCount);
            add("mouth_point_count", face.landmarks->mouthPointCount);
            entry["landmarks_summary"] = std::move(summary);
        }
        faces.push_back(std::move(entry));
    }
    const auto count = faces.size();
    return PlainDictionary{{"success", true}, {"face_count", count}, {"faces", std::move(faces)}};
}

PlainDictionary barcodeResult(const std::vector<vision::BarcodeObservation>& observations) {
    PlainList barcodes;
    for (const auto& observation : observations) {
        barcodes.push_back(PlainDictionary{{"symbology", repairedText(observation.symbology)},
                                           {"payload", repairedText(observation.payload.value_or(""))},
                                           {"bounding_box", boundingBoxValue(observation.boundingBox)}});
    }
    return listedUnder("barcodes", std::move(barcodes));
}

PlainDictionary animalResult(const std::vector<vision::AnimalObservation>& observations) {
    PlainList animals;
    for (const auto& observation : observations) {
        PlainList labels;
        for (const auto& label : observation.labels) {
            labels.push_back(PlainDictionary{{"identifier", repairedText(label.identifier)},
                                             {"confidence", singlePrecisionValue(label.confidence)}});
        }
        animals.push_back(PlainDictionary{{"labels", std::move(labels)},
                                          {"bounding_box", boundingBoxValue(observation.boundingBox)}});
    }
    return listedUnder("animals", std::move(animals));
}

PlainDictionary bodyPoseResult(const std::vector<vision::PoseObservation>& observations) {
    return poseResult("poses", observations);
}

PlainDictionary handPoseResult(const std::vector<vision::PoseObservation>& observations) {
    return poseResult("hands", observations);
}

PlainDictionary saliencyResult(const std::vector<vision::SaliencyObservation>& observations) {
    PlainList regions;
    for (const auto& observation : observations) {
        if (!observation.salientObjects) {
            continue;
        }
        for (const auto& object : *observation.salientObjects) {
            regions.push_back(PlainDictionary{{"confidence", singlePrecisionValue(object.confidence)},
                                              {"bounding_box", boundingBoxValue(object.boundingBox)}});
        }
    }
    return listedUnder("regions", std::move(regions));
}

PlainDictionary imageComparisonResult(float distance) {
    return PlainDictionary{{"success", true},
                           {"distance", singlePrecisionValue(distance)},
                           {"similarity_description", similarityDescription(distance)}};
}

std::string similarityDescription(float distance) {
    if (distance == 0.0F) {
        return "Identical";
    }
    if (distance < 5.0F) {
        return "Very Similar";
    }
    if (distance < 15.0F) {
        return "Similar";
    }
    return "Different";
}

}  // namespace lumenary::app
