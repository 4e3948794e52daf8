#include "app/host/input_line_splitter.hpp"

#include <algorithm>
#include <utility>

namespace lumenary::app {

namespace {

bool endsLine(char character) {
    return character == '\n' || character == '\r' || character == '\v' || character == '\f';
}

}  // namespace

std::vector<InputLineSplitter::Line> InputLineSplitter::feed(std::string_view bytes) {
    std::vector<Line> lines;
    while (!bytes.empty()) {
        const auto end = std::find_if(bytes.begin(), bytes.end(), endsLine);
        const auto length = static_cast<std::size_t>(end - bytes.begin());
        if (!discarding_) {
            if (pending_.size() + length > maximumLineLength_) {
                pending_ = std::string();
                discarding_ = true;
                lines.push_back({std::string(), true});
            } else {
                pending_.append(bytes.substr(0, length));
            }
        }
        if (end == bytes.end()) {
            break;
        }
        if (discarding_) {
            discarding_ = false;
        } else if (!pending_.empty()) {
            lines.push_back({std::exchange(pending_, std::string()), false});
        }
        bytes.remove_prefix(length + 1);
    }
    return lines;
}

std::optional<InputLineSplitter::Line> InputLineSplitter::finish() {
    discarding_ = false;
    if (pending_.empty()) {
        return std::nullopt;
    }
    return Line{std::exchange(pending_, std::string()), false};
}

}  // namespace lumenary::app
