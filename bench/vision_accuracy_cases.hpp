#pragma once

#include <filesystem>

namespace lumenary::vision_bench {

// Precision and recall of hand pose and face detection on a labelled set
// of photos that Debian packages ship: per photo for hands (a hand found at
// a confidence of 0.5 or more on a photo that shows one, none on a photo
// that shows none, as the worker finds them; and every hand found on the
// photos that show some), per face for faces (each marked face found, nothing
// found elsewhere) in the photos and in 640 x 480 video frames of them
// (written and decoded as the video tools read them, into `folder`).
// Photos that are missing are left out, with a line saying so.
void benchmarkAccuracyCases(const std::filesystem::path& folder);

}  // namespace lumenary::vision_bench
