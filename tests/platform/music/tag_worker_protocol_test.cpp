#include <gtest/gtest.h>

#include <variant>

#include "platform/music/tag_worker_protocol.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {
namespace {

using TagReadingAnswer = std::variant<std::optional<AudioTags>, UnreadableTagAnswer>;

std::string answerText(const TagReadingAnswer& answer) {
    if (const auto* unreadable = std::get_if<UnreadableTagAnswer>(&answer)) {
        return "no answer: " + unreadable->reason;
    }
    const auto& tags = std::get<std::optional<AudioTags>>(answer);
    if (!tags) {
        return "unreadable";
    }
    return tags->title + "|" + tags->artist + "|" + tags->album + "|" +
           (tags->durationMilliseconds ? std::to_string(*tags->durationMilliseconds) : "?");
}

// What the worker writes is read back as it was, whatever the texts hold;
// a line feed inside a text must not end the answer early.
TEST(TagWorkerProtocolTest, AnswersReadBackAsTheyWereWritten) {
    const std::pair<std::optional<AudioTags>, std::string> cases[] = {
        {std::nullopt, "unreadable"},
        {AudioTags{"Feeling Good", "Nina Simone", "", 155'250}, "Feeling Good|Nina Simone||155250"},
        {AudioTags{"a\tb\nc\\n\rd", "Zoë", "Été\\", std::nullopt}, "a\tb\nc\\n\rd|Zoë|Été\\|?"},
        {AudioTags{"", "", "", 0}, "|||0"},
    };
    for (const auto& [tags, text] : cases) {
        auto line = encodeTagAnswer(tags);
        ASSERT_EQ(line.find('\n'), line.size() - 1) << text;
        line.pop_back();
        EXPECT_EQ(answerText(decodeTagAnswer(line)), text);
    }
}

// A hostile file's tag can be as long as the file: the worker cuts it, never
// inside a character, so every answer line stays under its bound.
TEST(TagWorkerProtocolTest, LongTextsAreCutAtACharacterBoundaryWithinTheLineBound) {
    std::string title;
    for (int index = 0; index < 20'000; ++index) title += "é";
    const std::string tabs(100'000, '\t');
    const auto line = encodeTagAnswer(AudioTags{title, tabs, std::string(50'000, 'x'), 1});
    EXPECT_LE(line.size(), maximumTagAnswerLength);
    const auto decoded = std::get<std::optional<AudioTags>>(decodeTagAnswer(line.substr(0, line.size() - 1)));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->title.size(), maximumTagTextLength);
    EXPECT_TRUE(system::isValidUTF8(decoded->title));
    EXPECT_EQ(decoded->artist, std::string(maximumTagTextLength, '\t'));
    EXPECT_EQ(decoded->album.size(), maximumTagTextLength);
}

TEST(TagWorkerProtocolTest, AnythingElseIsNoAnswer) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "no answer: not five fields after +"},
        {"+", "no answer: not five fields after +"},
        {"+\ta\tb\tc", "no answer: not five fields after +"},
        {"+\ta\tb\tc\t1\t2", "no answer: not five fields after +"},
        {"*\ta\tb\tc\t1", "no answer: not five fields after +"},
        {"+\ta\tb\tc\t1x", "no answer: a duration that is no count of milliseconds"},
        {"+\ta\tb\tc\t-1", "no answer: a duration that is no count of milliseconds"},
        {"+\ta\tb\tc\t99999999999999999999", "no answer: a duration that is no count of milliseconds"},
        {"+\t\xff\tb\tc\t", "\xEF\xBF\xBD|b|c|?"},
    };
    for (const auto& [line, text] : cases) {
        EXPECT_EQ(answerText(decodeTagAnswer(line)), text) << line;
    }
}

TEST(TagWorkerProtocolTest, ABatchIsOneLinePerPathAndAnEmptyLine) {
    const std::vector<std::filesystem::path> files = {"/music/a.flac", "/music/new\nline\\tab\t.mp3",
                                                      "/m/\xe9t\xe9.ogg"};
    const auto request = encodeTagRequest(files);
    ASSERT_TRUE(request.ends_with("\n\n"));
    std::vector<std::filesystem::path> read;
    std::size_t start = 0;
    for (auto end = request.find('\n'); end != start; start = end + 1, end = request.find('\n', start)) {
        read.push_back(decodeTagRequestLine(std::string_view(request).substr(start, end - start)));
    }
    EXPECT_EQ(read, files);
    EXPECT_EQ(start, request.size() - 1);
}

}  // namespace
}  // namespace lumenary::platform
