#pragma once

namespace lumenary::vision_bench {

// Word recall and precision of "accurate" text recognition on the labelled
// photos with text (signs, labels, screens, receipts, covers), per photo
// and over all, first with lines found by layout analysis alone (the text
// networks' folder pointed at an empty one), then by the text-detection
// network; and the misread photos' reads.
void benchmarkTextPhotos();

}  // namespace lumenary::vision_bench
