#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace lumenary::platform {

// What a file's tags say; a field the file leaves out is empty. UTF-8.
struct AudioTags {
    std::string title;
    std::string artist;
    std::string album;
    std::optional<std::int64_t> durationMilliseconds;
};

// Reads the tags of one audio file. Blocking; safe to call from several
// threads at once for different files.
class AudioTagReader {
public:
    virtual ~AudioTagReader() = default;

    // Absent when the file cannot be read as audio (broken, not audio at
    // all, unreadable).
    virtual std::optional<AudioTags> read(const std::filesystem::path& file) = 0;
};

// Whether a file name ends in the extension of an audio format the
// library lists (either case).
bool isAudioFileName(const std::filesystem::path& file);

}  // namespace lumenary::platform
