#include "platform/notes/note_file_name.hpp"

#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

constexpr char replacement = '_';

bool isContinuationByte(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The longest prefix of `text` of at most `bytes` bytes that ends on a
// character boundary (`text` is well-formed UTF-8).
std::string_view prefixOfAtMost(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    std::size_t cut = bytes;
    while (cut > 0 && isContinuationByte(text[cut])) {
        --cut;
    }
    return text.substr(0, cut);
}

}  // namespace

std::string fileSystemName(std::string_view name) {
    const std::string repaired = system::repairUTF8(name);
    std::string safe;
    safe.reserve(repaired.size());
    for (std::size_t index = 0; index < repaired.size(); ++index) {
        const auto byte = static_cast<unsigned char>(repaired[index]);
        if (byte == '/' || byte < 0x20 || byte == 0x7F) {
            safe += replacement;
            continue;
        }
        // U+0080 to U+009F, the C1 controls, are C2 80 to C2 9F.
        if (byte == 0xC2 && index + 1 < repaired.size() && static_cast<unsigned char>(repaired[index + 1]) <= 0x9F) {
            safe += replacement;
            ++index;
            continue;
        }
        safe += repaired[index];
    }
    if (safe.empty()) {
        return std::string(1, replacement);
    }
    if (safe.front() == '.') {
        safe.front() = replacement;
    }
    return safe;
}

std::string fittedFileName(std::string_view name, std::string_view ending) {
    const std::size_t room = ending.size() < maximumFileNameBytes ? maximumFileNameBytes - ending.size() : 0;
    std::string fitted(prefixOfAtMost(name, room));
    fitted += ending;
    return fitted;
}

std::string numberedFileName(std::string_view stem, std::size_t number, std::string_view extension) {
    if (number <= 1) {
        return fittedFileName(stem, extension);
    }
    return fittedFileName(stem, " " + std::to_string(number) + std::string(extension));
}

}  // namespace lumenary::platform
