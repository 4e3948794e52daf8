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
    // The labelled real-material manifests (bench/real_text), and the
    // script that brings the images they name inside Debian packages.
    std::filesystem::path realTextManifests;
    std::filesystem::path fetchRealText;
};

// Every labelled text set (framed signs, dialogs, lines cut close, Chinese
// small lines, photos with text, signs framed on photos, book page pieces,
// dialogs with controls, code lines in the tests' face and in others,
// capitals cut to their ink) written as PNG files into `folder`, the real
// screenshots and pages the manifests name (fetched into `folder` first),
// and the pages of PDF manuals they name, drawn by poppler at 100 and
// 150 dpi and photographed, read end to end through worker programs: a
// table of each set's scores at this build's accurate and fast levels and
// the previous build's accurate level, a row marked where the accurate
// level now does worse than before or than the fast level. Besides its own
// measures, every set counts the read words its labels hold and the words
// read twice over, so that a reading that adds words shows. Then the
// accurate level's misreads per set, and the values of each real screen
// where the accurate level found fewer than the fast one. Ends the
// benchmark on a record it cannot read or write; real material that could
// not be brought or drawn is left out with a line saying so.
void benchmarkTextCompare(const std::filesystem::path& folder, const TextCompareSettings& settings);

}  // namespace lumenary::vision_bench
