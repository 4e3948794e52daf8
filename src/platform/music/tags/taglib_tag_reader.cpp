#include "platform/music/tags/taglib_tag_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include "system/owned_descriptor.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

std::string textOf(const TagLib::String& text) {
    return system::repairUTF8(text.to8Bit(true));
}

// Whether `file` is a regular file. TagLib would open a FIFO (or a device)
// put where a song was after the scan and wait on it for ever: opening it
// without waiting tells us what it is. One swapped in after this look
// costs the server's time limit for a file, no more.
bool isRegularFile(const std::filesystem::path& file) {
    const system::OwnedDescriptor opened(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    return opened.isOpen() && ::fstat(opened.get(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

std::optional<AudioTags> TagLibTagReader::read(const std::filesystem::path& file) {
    if (!isRegularFile(file)) {
        return std::nullopt;
    }
    // TagLib reports its own trouble by returning a null reference; it
    // throws nothing of its own, but a failed allocation must not end the
    // scan of a whole library.
    try {
        const TagLib::FileRef reference(file.c_str(), true, TagLib::AudioProperties::Fast);
        if (reference.isNull()) {
            return std::nullopt;
        }
        AudioTags tags;
        if (const TagLib::Tag* tag = reference.tag()) {
            tags.title = textOf(tag->title());
            tags.artist = textOf(tag->artist());
            tags.album = textOf(tag->album());
        }
        // A length of 0 is TagLib's word for one it could not tell.
        if (const TagLib::AudioProperties* properties = reference.audioProperties();
            properties != nullptr && properties->lengthInMilliseconds() > 0) {
            tags.durationMilliseconds = properties->lengthInMilliseconds();
        }
        return tags;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace lumenary::platform
