#include "mcp/server/stdio_line_splitter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace lumenary::mcp {
namespace {

using LineEnds = StdioLineSplitter::LineEnds;

// The lines of `reads` fed in turn, then finished; an over-long line shows
// as "<over limit>".
std::vector<std::string> linesOf(const std::vector<std::string_view>& reads, std::size_t limit, LineEnds lineEnds) {
    StdioLineSplitter splitter(limit, lineEnds);
    std::vector<std::string> lines;
    const auto collect = [&](std::string line) { lines.push_back(line.empty() ? "<over limit>" : line); };
    for (const auto read : reads) splitter.feed(read, collect);
    if (auto last = splitter.finish()) lines.push_back(*last);
    return lines;
}

TEST(StdioLineSplitter, FindsTheSameLinesWhereverTheReadsSplitTheInput) {
    struct Case {
        const char* name;
        LineEnds lineEnds;
        std::string input;
        std::size_t limit;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"a 0x0D stays in its line, empty lines are dropped",
         LineEnds::lineFeed,
         "{}\r\n\n\n[1]\n",
         8,
         {"{}\r", "[1]"}},
        {"a line at the limit is whole", LineEnds::lineFeed, "12345678\nx\n", 8, {"12345678", "x"}},
        {"a line past the limit is reported once, the next is whole",
         LineEnds::lineFeed,
         "123456789abc\nshort\n",
         8,
         {"<over limit>", "short"}},
        {"the last line counts without its 0x0A", LineEnds::lineFeed, "a\nlast", 8, {"a", "last"}},
        {"an over-long last line is reported and not handed on",
         LineEnds::lineFeed,
         "a\n123456789",
         8,
         {"a", "<over limit>"}},
        // CRLF ends, a blank line kept for the reader to judge, leading
        // blanks kept, a raw U+2028 inside a JSON string not cut, and a last
        // line without its end.
        {"every ASCII break ends a line, U+2028 does not",
         LineEnds::anyASCIIBreak,
         "  \r\n{\"a\":1}\r\n\n  {\"b\":\"x\u2028y\"}\r\v\fz",
         1024,
         {"  ", "{\"a\":1}", "  {\"b\":\"x\u2028y\"}", "z"}},
        {"a line past the limit ends at any ASCII break",
         LineEnds::anyASCIIBreak,
         "0123456789abc\rshort\f",
         8,
         {"<over limit>", "short"}},
        {"a line at the limit ends at any ASCII break", LineEnds::anyASCIIBreak, "exactly8\v", 8, {"exactly8"}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const std::string_view input = testCase.input;
        EXPECT_EQ(linesOf({input}, testCase.limit, testCase.lineEnds), testCase.lines) << "whole";
        for (std::size_t split = 0; split <= input.size(); ++split) {
            EXPECT_EQ(linesOf({input.substr(0, split), input.substr(split)}, testCase.limit, testCase.lineEnds),
                      testCase.lines)
                << "split at " << split;
        }
        std::vector<std::string_view> bytes;
        for (std::size_t index = 0; index < input.size(); ++index) bytes.push_back(input.substr(index, 1));
        EXPECT_EQ(linesOf(bytes, testCase.limit, testCase.lineEnds), testCase.lines) << "byte by byte";
    }
}

}  // namespace
}  // namespace lumenary::mcp
