#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace lumenary::mcp {

// Cuts what a stdio peer sends into message lines, however the bytes are
// split across reads. A line ends at 0x0A (a 0x0D before it stays in the
// line); empty lines are dropped. A line past `maximumLineLength` is dropped
// whole up to its 0x0A and stands in the stream as one empty line, which no
// real line can be: the transport hands it on as an unreadable message.
class StdioLineSplitter {
public:
    explicit StdioLineSplitter(std::size_t maximumLineLength) : maximumLineLength_(maximumLineLength) {}

    // Hands each line the bytes complete to `deliver(std::string)`, in
    // order. A line that lies whole inside `bytes` is copied once.
    template <typename Deliver>
    void feed(std::string_view bytes, Deliver&& deliver) {
        while (!bytes.empty()) {
            const auto* found = static_cast<const char*>(std::memchr(bytes.data(), '\n', bytes.size()));
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

    // The last line when the input ended without its 0x0A.
    std::optional<std::string> finish() {
        discarding_ = false;
        if (pending_.empty()) {
            return std::nullopt;
        }
        return std::exchange(pending_, std::string());
    }

private:
    std::size_t maximumLineLength_;
    std::string pending_;
    // Dropping the rest of an over-long line until its 0x0A.
    bool discarding_ = false;
};

}  // namespace lumenary::mcp
