#pragma once

// Music files for the library's tests: real audio with tags, written by
// ffmpeg, and the hostile .m4a whose atoms nest deeper than TagLib's
// recursion survives.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/process/process_launcher.hpp"

namespace lumenary::testing {

// One second of silence with these tags, written by ffmpeg; false when it
// could not.
inline bool writeTaggedAudio(const std::filesystem::path& file, const std::string& title, const std::string& artist,
                             const std::string& album) {
    platform::ProcessLaunch launch{
        .executable = "ffmpeg",
        .arguments = {"-v", "error", "-nostdin", "-f", "lavfi", "-i", "anullsrc=r=8000:cl=mono", "-t", "1", "-metadata",
                      "title=" + title, "-metadata", "artist=" + artist, "-metadata", "album=" + album, "-y",
                      file.string()},
        .standardInput = std::nullopt,
        .standardOutputLimit = 0,
        .standardErrorLimit = 4096,
        .deadline = std::chrono::seconds(60)};
    const auto run = platform::ProcessLauncher().run(launch);
    return run && run.value().exit && run.value().exit->kind == platform::ProcessExit::Kind::exited &&
           run.value().exit->exitStatus == 0;
}

// An ftyp atom, then `depth` moov atoms each holding the next, then a free
// atom: 8 bytes a level, so 70,000 levels make 560 KB. TagLib reads atoms
// by recursion and runs out of stack long before the end.
inline void writeNestedAtomsM4a(const std::filesystem::path& file, std::uint32_t depth) {
    std::ofstream out(file, std::ios::binary);
    const auto size = [&out](std::uint32_t value) {
        const char bytes[] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                              static_cast<char>(value >> 8), static_cast<char>(value)};
        out.write(bytes, 4);
    };
    size(24);
    out.write("ftypM4A \0\0\2\0isomM4A ", 20);
    for (std::uint32_t level = 0; level < depth; ++level) {
        size(8 * (depth - level) + 8);
        out.write("moov", 4);
    }
    size(8);
    out.write("free", 4);
}

}  // namespace lumenary::testing
