#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/music/audio_tag_reader.hpp"

namespace lumenary::platform {

// What the server and the tag worker (lumenary-tags) say to each other, one
// line at a time, in escaped fields (escaped_fields.hpp):
//
// - the worker, once started: the greeting line;
// - the server: a batch, one line per file path, then an empty line;
// - the worker: one answer line per path, in order, each written as soon as
//   that file is read: "-" when the file cannot be read as audio, else "+",
//   title, artist, album and the duration in milliseconds (empty when
//   unknown), tab-separated.
//
// The worker reads a whole batch before it answers, so neither side ever
// writes while the other is blocked writing too.

inline constexpr std::string_view tagWorkerGreeting = "lumenary-tags 1";

// The worker cuts each text to this many bytes (at a character boundary):
// no real title comes near it, and it bounds every answer line.
inline constexpr std::size_t maximumTagTextLength = 16 * 1024;
// An answer line's bound: three texts escaped at worst to twice their
// length, the marker, the tabs and a duration.
inline constexpr std::size_t maximumTagAnswerLength = 128 * 1024;
// A request line's bound: a path escaped at worst to twice PATH_MAX.
inline constexpr std::size_t maximumTagRequestLength = 16 * 1024;
// At most this many paths to a batch.
inline constexpr std::size_t maximumTagBatchSize = 256;

// The lines of one batch, the empty line included.
std::string encodeTagRequest(const std::vector<std::filesystem::path>& files);
// The path of one request line.
std::filesystem::path decodeTagRequestLine(std::string_view line);

// The answer line for one file, line feed included; texts are cut to
// maximumTagTextLength.
std::string encodeTagAnswer(const std::optional<AudioTags>& tags);

// Why an answer line is not one.
struct UnreadableTagAnswer {
    std::string reason;
};
std::variant<std::optional<AudioTags>, UnreadableTagAnswer> decodeTagAnswer(std::string_view line);

}  // namespace lumenary::platform
