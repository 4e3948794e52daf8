#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace lumenary::mcp {

// Cuts what a stdio peer sends into message lines, however the bytes are
// split across reads. Empty lines are dropped. A line past
// `maximumLineLength` is dropped whole up to its end and stands in the
// stream as one empty line, which no real line can be: the reader answers it
// as an unreadable message.
class StdioLineSplitter {
public:
    enum class LineEnds {
        // A line ends at 0x0A; a 0x0D before it stays in the line.
        lineFeed,
        // A line ends at a line feed, a carriage return, a vertical tab or a
        // form feed: none of them can stand raw inside a JSON text, so
        // cutting there never splits a message, and "\r\n" ends leave only an
        // empty piece, which is dropped. Line separators beyond ASCII (U+2028
        // and the like) are not cut: a JSON string may hold them raw.
        anyASCIIBreak,
    };

    explicit StdioLineSplitter(std::size_t maximumLineLength, LineEnds lineEnds = LineEnds::lineFeed)
        : maximumLineLength_(maximumLineLength), lineEnds_(lineEnds) {}

    // Hands each line the bytes complete to `deliver(std::string)`, in
    // order. A line that lies whole inside `bytes` is copied once.
    template <typename Deliver>
    void feed(std::string_view bytes, Deliver&& deliver) {
        while (!bytes.empty()) {
            const char* found = findLineEnd(bytes);
            const std::size_t length = found ? static_cast<std::size_t>(found - bytes.data()) : bytes.size();
            if (!discarding_) {
                if (pending_.size() + length > maximumLineLength_) {
                    pending_ = std::string();
                    discarding_ = true;
                    deliver(std::string());
                } else if (found && pending_.empty()) {
                    if (length > 0) {
                        deliver(std::string(bytes.substr(0, length)));
                    }
                } else {
                    pending_.append(bytes.substr(0, length));
                }
            }
            if (!found) {
                return;
            }
            if (discarding_) {
                discarding_ = false;
            } else if (!pending_.empty()) {
                deliver(std::exchange(pending_, std::string()));
            }
            bytes.remove_prefix(length + 1);
        }
    }

    // The last line when the input ended without its line end.
    std::optional<std::string> finish() {
        discarding_ = false;
        if (pending_.empty()) {
            return std::nullopt;
        }
        return std::exchange(pending_, std::string());
    }

private:
    static bool isASCIIBreak(char character) {
        return character == '\n' || character == '\r' || character == '\v' || character == '\f';
    }

    const char* findLineEnd(std::string_view bytes) const {
        if (lineEnds_ == LineEnds::lineFeed) {
            return static_cast<const char*>(std::memchr(bytes.data(), '\n', bytes.size()));
        }
        const auto end = std::find_if(bytes.begin(), bytes.end(), isASCIIBreak);
        return end == bytes.end() ? nullptr : bytes.data() + (end - bytes.begin());
    }

    std::size_t maximumLineLength_;
    LineEnds lineEnds_;
    std::string pending_;
    // Dropping the rest of an over-long line until its end.
    bool discarding_ = false;
};

}  // namespace lumenary::mcp
