#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// The salient regions of an 8-bit RGB image, as a person would point at
// them, from what the worker's detectors find in a copy of at most
// salientObjectsWorkingSide pixels a side: the COCO detector's objects
// (every class) and, where it sees a person, the faces.
//
// - objectness: a region on each prominent object, the detector's surest
//   first, at most salientObjectsLimit. An object of under half a percent
//   of the frame, or with its box covering the whole frame, is left out; so
//   is a face on a person already boxed (a face filling the photo, whose
//   person is the frame, is boxed). Confidence: the detector's score.
// - attention: one region, on the subject that draws the eye first, as
//   attention_weight.hpp weighs it: any face first, then by kind,
//   confidence and size, so that a subject filling a good part of the
//   frame wins over a small bright one. A subject filling most of the frame
//   is narrowed to its most salient part (most_salient_part.hpp): a cat's
//   head filling the picture gives its eyes. Confidence: that of the
//   subject.
//
// Where they find nothing they know (no face, animal or person, and no
// object the detector is sure of: a landscape, a drawing), the colour
// contrast map (saliency_map.hpp) speaks too: objectness adds its regions
// that no object found covers; when no subject was found, attention takes
// the region that is neither a speck nor the whole frame and weighs most,
// by contrast and size.
// Errors: the networks' and the face model's ("VisionService", 500).
PlatformOutcome<std::vector<SalientObject>> salientObjects(const cv::Mat& rgb, SaliencyKind kind);

inline constexpr int salientObjectsWorkingSide = 640;
inline constexpr std::size_t salientObjectsLimit = 5;

}  // namespace lumenary::platform::vision
