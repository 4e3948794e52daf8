#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumenary::platform {

// The content lines of a vCard text. A line ends at CR LF, a bare LF or a
// bare CR; a line that starts with a space or a tab continues the one
// before it, without that first character (unfolding). A UTF-8 byte-order
// mark at the start is dropped. The text must outlive the reader.
class VCardLineReader {
public:
    explicit VCardLineReader(std::string_view text);

    // The next unfolded line, or nothing at the end of the text.
    std::optional<std::string> nextLine();
    // The next line exactly as it stands, without unfolding what follows:
    // how a quoted-printable soft line break continues.
    std::optional<std::string_view> nextPhysicalLine();

private:
    std::string_view remaining_;
};

}  // namespace lumenary::platform
