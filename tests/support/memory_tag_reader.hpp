#pragma once

#include <atomic>
#include <map>
#include <string>

#include "platform/music/audio_tag_reader.hpp"

namespace lumenary::testing {

// Tags by file name, set before use; a file it has none for is unreadable.
// Counts the files it is asked about.
class MemoryTagReader final : public platform::AudioTagReader {
public:
    explicit MemoryTagReader(std::map<std::string, platform::AudioTags> tags) : tags_(std::move(tags)) {}

    std::optional<platform::AudioTags> read(const std::filesystem::path& file) override {
        ++reads_;
        const auto found = tags_.find(file.filename().string());
        if (found == tags_.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    int reads() const { return reads_; }

private:
    const std::map<std::string, platform::AudioTags> tags_;
    std::atomic<int> reads_{0};
};

}  // namespace lumenary::testing
