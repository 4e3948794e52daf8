#pragma once

#include <filesystem>

#include "platform/platform_error.hpp"

namespace lumenary::vision_bench {

// The page drawn in `rendered` as a phone's photo of it printed would show
// it, written as a JPEG of quality 60 into `jpeg`: on a grey-white ground,
// turned by 1 to 3 degrees, its corners pulled a little out of square, a
// little out of focus, and its light falling off to seven tenths across
// it. The same seed makes the same photo.
platform::PlatformOutcome<std::filesystem::path> photographedPage(const std::filesystem::path& rendered, unsigned seed,
                                                                  const std::filesystem::path& jpeg);

}  // namespace lumenary::vision_bench
