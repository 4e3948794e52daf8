#include "platform/music/audio_tag_reader.hpp"

#include <array>
#include <string_view>

#include "platform/text/plain_text.hpp"

namespace lumenary::platform {

AudioTagReadings AudioTagReader::readEach(const std::vector<std::filesystem::path>& files) {
    AudioTagReadings readings;
    readings.tags.reserve(files.size());
    for (const auto& file : files) {
        readings.tags.push_back(read(file));
    }
    return readings;
}

bool isAudioFileName(const std::filesystem::path& file) {
    static constexpr std::array<std::string_view, 17> extensions{".mp3",  ".flac", ".ogg", ".oga", ".opus", ".m4a",
                                                                 ".m4b",  ".mp4",  ".aac", ".wav", ".wma",  ".aif",
                                                                 ".aiff", ".ape",  ".wv",  ".mpc", ".spx"};
    const std::string extension = asciiLowercased(file.extension().string());
    for (const auto candidate : extensions) {
        if (extension == candidate) {
            return true;
        }
    }
    return false;
}

}  // namespace lumenary::platform
