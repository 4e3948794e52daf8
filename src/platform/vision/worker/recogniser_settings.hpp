#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}

namespace lumenary::platform::vision {

// Every setting a recogniser reads, by name, each as the text that sets it
// back exactly: the library's shared settings, which every recogniser in
// the process reads, and the recogniser's own.
using RecogniserSettings = std::vector<std::pair<std::string, std::string>>;

// `api`'s settings as they stand. It needs a recogniser with a setting set
// or its models loaded: a recogniser just made has no settings to list.
RecogniserSettings recogniserSettings(const tesseract::TessBaseAPI& api);

// Sets each of `settings` on `api`, the shared ones for every recogniser.
void restoreRecogniserSettings(tesseract::TessBaseAPI& api, const RecogniserSettings& settings);

}  // namespace lumenary::platform::vision
