#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumenary::app {

// Cuts the client's input into message lines, however the bytes are split
// across reads. A line ends at a line feed, a carriage return, a vertical
// tab or a form feed: none of them can stand raw inside a JSON text, so
// cutting there never splits a message, and "\r\n" ends leave only an empty
// piece, which is skipped. Line separators beyond ASCII (U+2028 and the
// like) are not cut: a JSON string may hold them raw.
class InputLineSplitter {
public:
    struct Line {
        std::string text;
        // The line passed the length limit; its bytes were dropped and
        // `text` is empty.
        bool overLimit = false;
    };

    explicit InputLineSplitter(std::size_t maximumLineLength) : maximumLineLength_(maximumLineLength) {}

    // The lines that `bytes` completes, in order; empty pieces are left out.
    std::vector<Line> feed(std::string_view bytes);
    // The last line when the input ended without a line end.
    std::optional<Line> finish();

private:
    const std::size_t maximumLineLength_;
    std::string pending_;
    // Dropping the rest of an over-long line until its end.
    bool discarding_ = false;
};

}  // namespace lumenary::app
