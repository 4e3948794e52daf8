#pragma once

#include <memory>

#include "platform/music/audio_tag_reader.hpp"

namespace lumenary::platform {

// The tags of every common audio format through TagLib.
class TagLibTagReader final : public AudioTagReader {
public:
    std::optional<AudioTags> read(const std::filesystem::path& file) override;
};

}  // namespace lumenary::platform
