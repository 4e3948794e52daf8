#include "app/host/input_line_splitter.hpp"

#include <gtest/gtest.h>

namespace lumenary::app {
namespace {

using Line = InputLineSplitter::Line;

// The lines of `input` fed in two pieces cut at `cut`, then finished.
std::vector<Line> splitAt(std::string_view input, std::size_t cut, std::size_t limit) {
    InputLineSplitter splitter(limit);
    auto lines = splitter.feed(input.substr(0, cut));
    for (auto& line : splitter.feed(input.substr(cut))) lines.push_back(std::move(line));
    if (auto last = splitter.finish()) lines.push_back(std::move(*last));
    return lines;
}

std::vector<std::string> texts(const std::vector<Line>& lines) {
    std::vector<std::string> result;
    for (const auto& line : lines) result.push_back(line.overLimit ? "<over limit>" : line.text);
    return result;
}

TEST(InputLineSplitter, FindsTheSameLinesWhereverTheReadsSplitTheInput) {
    struct Case {
        std::string input;
        std::size_t limit;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        // CRLF ends, a blank line kept for the proxy to judge, leading blanks
        // kept, a raw U+2028 inside a JSON string not cut, and a last line
        // without its end.
        {"  \r\n{\"a\":1}\r\n\n  {\"b\":\"x\u2028y\"}\r\v\fz",
         1024,
         {"  ", "{\"a\":1}", "  {\"b\":\"x\u2028y\"}", "z"}},
        // An over-long line is reported once and dropped to its end; the
        // next line is whole again.
        {"0123456789abc\nshort\n", 8, {"<over limit>", "short"}},
        {"exactly8\n", 8, {"exactly8"}},
    };
    for (const auto& each : cases) {
        for (std::size_t cut = 0; cut <= each.input.size(); ++cut) {
            EXPECT_EQ(texts(splitAt(each.input, cut, each.limit)), each.lines) << each.input << " cut at " << cut;
        }
    }
}

}  // namespace
}  // namespace lumenary::app
