#pragma once

#include <string>
#include <vector>

#include "app/tools/plain_value.hpp"
#include "platform/vision/vision_observations.hpp"

// The result dictionaries of the vision tools, built from an analysis's
// observations in the order it gave them. Every result carries "success"
// true and a count beside its list; boxes and points keep their full
// double precision, confidences and distances are written as the floats
// they are. Texts that are not UTF-8 are repaired, so no answer is lost to
// one bad byte from a recogniser.
namespace lumenary::app {

// {"success", "text_blocks": [{"text", "confidence", "bounding_box"}],
// "full_text"}: a line the recogniser found but could not read gives no
// block; "full_text" joins the blocks' texts with "\n".
PlainDictionary textRecognitionResult(const std::vector<platform::vision::TextObservation>& observations);

// {"success", "face_count", "faces": [{"bounding_box", "roll", "yaw",
// "landmarks_summary"}]}: a roll or yaw the detector did not give is the
// integer 0; "landmarks_summary" holds the point counts of the regions found
// ("left_eye_count", "right_eye_count", "nose_point_count",
// "mouth_point_count") and is absent when the face has no landmarks.
PlainDictionary faceDetectionResult(const std::vector<platform::vision::FaceObservation>& observations);

// {"success", "count", "barcodes": [{"symbology", "payload", "bounding_box"}]};
// "payload" is "" for binary content.
PlainDictionary barcodeResult(const std::vector<platform::vision::BarcodeObservation>& observations);

// {"success", "count", "animals": [{"labels": [{"identifier", "confidence"}],
// "bounding_box"}]}, every label kept whatever its confidence.
PlainDictionary animalResult(const std::vector<platform::vision::AnimalObservation>& observations);

// {"success", "count", "poses" | "hands": [{"confidence", "points": {key:
// {"x", "y", "confidence"}}}]}: a joint that could not be located, or whose
// confidence is 0 or not a number, is left out.
PlainDictionary bodyPoseResult(const std::vector<platform::vision::PoseObservation>& observations);
PlainDictionary handPoseResult(const std::vector<platform::vision::PoseObservation>& observations);

// {"success", "count", "regions": [{"confidence", "bounding_box"}]}: the
// salient objects of every observation, observation by observation.
PlainDictionary saliencyResult(const std::vector<platform::vision::SaliencyObservation>& observations);

// {"success", "distance", "similarity_description"}.
PlainDictionary imageComparisonResult(float distance);

// "Identical" at 0, "Very Similar" below 5, "Similar" below 15, else
// (not a number included) "Different".
std::string similarityDescription(float distance);

}  // namespace lumenary::app
