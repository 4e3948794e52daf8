#include "platform/music/tag_worker_protocol.hpp"

#include <charconv>

#include "platform/music/escaped_fields.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

// At most maximumTagTextLength bytes of a UTF-8 text, never half a
// character.
std::string_view cutTagText(std::string_view text) {
    if (text.size() <= maximumTagTextLength) {
        return text;
    }
    std::size_t end = maximumTagTextLength;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

}  // namespace

std::string encodeTagRequest(const std::vector<std::filesystem::path>& files) {
    std::string request;
    for (const auto& file : files) {
        appendEscapedField(request, file.native());
        request.push_back('\n');
    }
    request.push_back('\n');
    return request;
}

std::filesystem::path decodeTagRequestLine(std::string_view line) {
    std::string path;
    // A path may hold tabs, but the server writes them escaped, so its line
    // is one field; raw tabs, which it never sends, are dropped.
    for (auto& field : escapedFieldsOf(line)) {
        path += field;
    }
    return path;
}

std::string encodeTagAnswer(const std::optional<AudioTags>& tags) {
    if (!tags) {
        return "-\n";
    }
    std::string answer = "+";
    for (const auto& text : {tags->title, tags->artist, tags->album}) {
        answer.push_back('\t');
        appendEscapedField(answer, cutTagText(text));
    }
    answer.push_back('\t');
    if (tags->durationMilliseconds) {
        answer += std::to_string(*tags->durationMilliseconds);
    }
    answer.push_back('\n');
    return answer;
}

std::variant<std::optional<AudioTags>, UnreadableTagAnswer> decodeTagAnswer(std::string_view line) {
    if (line == "-") {
        return std::optional<AudioTags>();
    }
    auto fields = escapedFieldsOf(line);
    if (fields.size() != 5 || fields[0] != "+") {
        return UnreadableTagAnswer{"not five fields after +"};
    }
    // Our own worker writes UTF-8; whatever else arrives is not trusted to.
    AudioTags tags{.title = system::repairUTF8(fields[1]),
                   .artist = system::repairUTF8(fields[2]),
                   .album = system::repairUTF8(fields[3]),
                   .durationMilliseconds = std::nullopt};
    if (const auto& duration = fields[4]; !duration.empty()) {
        std::int64_t milliseconds = 0;
        const auto [end, error] = std::from_chars(duration.data(), duration.data() + duration.size(), milliseconds);
        if (error != std::errc() || end != duration.data() + duration.size() || milliseconds < 0) {
            return UnreadableTagAnswer{"a duration that is no count of milliseconds"};
        }
        tags.durationMilliseconds = milliseconds;
    }
    return std::optional<AudioTags>(std::move(tags));
}

}  // namespace lumenary::platform
