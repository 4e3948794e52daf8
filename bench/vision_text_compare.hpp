#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace lumenary::vision_bench {

struct TextCompareSettings {
    // This build's worker program, read at its accurate and fast levels.
    std::string workerProgram;
    // A previous build's worker program, read at its accurate level.
    std::optional<std::string> previousWorkerProgram;
    // A record written by an earlier run, read in place of a previous
    // worker program.
    std::optional<std::filesystem::path> previousRecord;
    // Where to write this build's figures as a record.
    std::optional<std::filesystem::path> record;
    // Only the sets whose names hold this text (a quicker look while
    // tuning one of them).
    std::optional<std::string> onlySets;
};

// Every labelled text set (framed signs, dialogs, lines cut close, Chinese
// small lines, photos with text, signs framed on photos, book page pieces,
// dialogs with controls, code lines, capitals cut to their ink) written as
// PNG files into `folder` and read end to end through worker programs: a
// table of each set's scores at this build's accurate and fast levels and
// the previous build's accurate level, a row marked where the accurate
// level now does worse than before or than the fast level; then the
// accurate level's misreads per set. Ends the benchmark on a record it
// cannot read or write.
void benchmarkTextCompare(const std::filesystem::path& folder, const TextCompareSettings& settings);

}  // namespace lumenary::vision_bench
