#pragma once

#include <filesystem>

namespace lumenary::vision_bench {

// The time text recognition takes, in this process at each level, on the
// first PDF page the manifests in `manifests` name, drawn at 150 dpi: a
// typeset manual's page, as one is sent to be read. `fetchScript`
// (bench/fetch_real_text) brings its PDF into `folder` first. A page that
// cannot be brought or drawn is left out with a line saying why.
void benchmarkTypesetPageTimes(int runs, const std::filesystem::path& folder, const std::filesystem::path& manifests,
                               const std::filesystem::path& fetchScript);

}  // namespace lumenary::vision_bench
