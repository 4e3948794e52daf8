#include "platform/contacts/vcard_line_reader.hpp"

namespace lumenary::platform {

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

bool isFoldBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

VCardLineReader::VCardLineReader(std::string_view text) : remaining_(text) {
    if (remaining_.starts_with(byteOrderMark)) {
        remaining_.remove_prefix(byteOrderMark.size());
    }
}

std::optional<std::string_view> VCardLineReader::nextPhysicalLine() {
    if (remaining_.empty()) {
        return std::nullopt;
    }
    const std::size_t end = remaining_.find_first_of("\r\n");
    if (end == std::string_view::npos) {
        const std::string_view line = remaining_;
        remaining_ = {};
        return line;
    }
    const std::string_view line = remaining_.substr(0, end);
    const bool crlf = remaining_[end] == '\r' && end + 1 < remaining_.size() && remaining_[end + 1] == '\n';
    remaining_.remove_prefix(end + (crlf ? 2 : 1));
    return line;
}

std::optional<std::string> VCardLineReader::nextLine() {
    const auto first = nextPhysicalLine();
    if (!first) {
        return std::nullopt;
    }
    std::string line(*first);
    while (!remaining_.empty() && isFoldBlank(remaining_.front())) {
        const auto continuation = nextPhysicalLine();
        line.append(continuation->substr(1));
    }
    return line;
}

}  // namespace lumenary::platform
