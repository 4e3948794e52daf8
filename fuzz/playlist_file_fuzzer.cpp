// The playlist file reader takes any bytes: the name is never empty and is
// UTF-8, and every entry is a usable path or URL: not empty, without NUL.
// Entries are bytes as the file system has them, so they need not be UTF-8.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.hpp"
#include "platform/music/playlist_file.hpp"
#include "system/utf8.hpp"

using namespace lumenary::platform;
using lumenary::system::isValidUTF8;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto playlist = readPlaylistText(text, "/music/lists/Road Trip.m3u");
    LUMENARY_FUZZ_CHECK(!playlist.name.empty());
    LUMENARY_FUZZ_CHECK(isValidUTF8(playlist.name));
    for (const auto& entry : playlist.entries) {
        LUMENARY_FUZZ_CHECK(!entry.empty());
        LUMENARY_FUZZ_CHECK(entry.find('\0') == std::string_view::npos);
    }
    return 0;
}
