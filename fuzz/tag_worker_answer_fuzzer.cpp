// The tag worker's answer lines are read from another process, one that has
// just met a hostile file: whatever the bytes, an answer's texts are UTF-8,
// no longer than the line, and one written again reads back the same.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "fuzz_check.hpp"
#include "platform/music/tag_worker_protocol.hpp"
#include "system/utf8.hpp"

using namespace lumenary::platform;
using lumenary::system::isValidUTF8;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto answer = decodeTagAnswer(line);
    const auto* tags = std::get_if<std::optional<AudioTags>>(&answer);
    if (tags == nullptr || !*tags) {
        return 0;
    }
    const AudioTags& read = **tags;
    for (const auto* text : {&read.title, &read.artist, &read.album}) {
        LUMENARY_FUZZ_CHECK(isValidUTF8(*text));
        LUMENARY_FUZZ_CHECK(text->size() <= 3 * size);
    }
    LUMENARY_FUZZ_CHECK(!read.durationMilliseconds || *read.durationMilliseconds >= 0);
    auto again = encodeTagAnswer(read);
    again.pop_back();
    const auto reread = decodeTagAnswer(again);
    const auto* same = std::get_if<std::optional<AudioTags>>(&reread);
    LUMENARY_FUZZ_CHECK(same != nullptr && *same);
    if (read.title.size() <= maximumTagTextLength && read.artist.size() <= maximumTagTextLength &&
        read.album.size() <= maximumTagTextLength) {
        LUMENARY_FUZZ_CHECK((*same)->title == read.title && (*same)->artist == read.artist &&
                            (*same)->album == read.album && (*same)->durationMilliseconds == read.durationMilliseconds);
    }
    return 0;
}
