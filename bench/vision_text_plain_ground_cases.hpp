#pragma once

namespace lumenary::vision_bench {

// Text on plain ground read at both levels side by side: lines of a manual
// cut close to their ink (margins of 0, 1/8 and 1/4 of their height and a
// roomy one) in several faces and sizes, values in dialogs' fields, signs
// inside frames (and the marks read at their lines' ends), and Chinese
// lines at 24 px.
void benchmarkTextPlainGround();

}  // namespace lumenary::vision_bench
