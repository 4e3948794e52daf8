#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// What a file's tags say; a field the file leaves out is empty. UTF-8.
struct AudioTags {
    std::string title;
    std::string artist;
    std::string album;
    std::optional<std::int64_t> durationMilliseconds;
};

// The tags of several files, read in one go.
struct AudioTagReadings {
    // One entry per file, in the files' order, absent for a file that
    // cannot be read as audio. Fewer than the files when `failure` stopped
    // the reading: the files after the last entry were not read at all.
    std::vector<std::optional<AudioTags>> tags;
    std::optional<PlatformError> failure;
};

// Reads the tags of audio files. Blocking; safe to call from several
// threads at once.
class AudioTagReader {
public:
    virtual ~AudioTagReader() = default;

    // Absent when the file cannot be read as audio (broken, not audio at
    // all, unreadable).
    virtual std::optional<AudioTags> read(const std::filesystem::path& file) = 0;

    // The tags of each file; the default reads them one by one.
    virtual AudioTagReadings readEach(const std::vector<std::filesystem::path>& files);
};

// Whether a file name ends in the extension of an audio format the
// library lists (either case).
bool isAudioFileName(const std::filesystem::path& file);

}  // namespace lumenary::platform
