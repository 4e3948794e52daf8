#pragma once

#include "platform/vision/worker/face_backend.hpp"

namespace lumenary::platform::vision {

// The 68-point landmark model of the landmark data package, the only face
// model it ships.
inline constexpr const char* faceLandmarkModelPath = "/usr/share/dlib/shape_predictor_68_face_landmarks.dat";

// The process's face backend: the HOG frontal face detector (compiled into
// the library, no model file), the 68-point landmark model, loaded on first
// use and kept for the process's life, and faceDescriptorPrint of the face
// aligned by its landmarks with a quarter of its size around it. Images up to about 2 megapixels are searched at
// twice their size, where faces down to about 40 px are found; larger ones
// at their own size (faces from about 80 px). Faces leaning up to about 30
// degrees in the image plane are found. A window the detector scores weakly
// is a face only when its outline shows skin (face_skin_tone.hpp), unless
// the picture is grey: so a patch or sign with two dots and a bar, which
// the detector takes for a face at a low score, is not reported. Safe to
// use from several threads.
FaceBackend& dlibFaceBackend();

}  // namespace lumenary::platform::vision
