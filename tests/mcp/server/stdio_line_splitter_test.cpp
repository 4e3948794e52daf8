#include "mcp/server/stdio_line_splitter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace lumenary::mcp {
namespace {

// The lines of `reads` fed in turn, then finished; an over-long line shows
// as "<over limit>".
std::vector<std::string> linesOf(const std::vector<std::string_view>& reads, std::size_t limit) {
    StdioLineSplitter splitter(limit);
    std::vector<std::string> lines;
    const auto collect = [&](std::string line) { lines.push_back(line.empty() ? "<over limit>" : line); };
    for (const auto read : reads) splitter.feed(read, collect);
    if (auto last = splitter.finish()) lines.push_back(*last);
    return lines;
}

TEST(StdioLineSplitter, FindsTheSameLinesWhereverTheReadsSplitTheInput) {
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> lines;
    };
    constexpr std::size_t limit = 8;
    const std::vector<Case> cases = {
        {"a 0x0D stays in its line, empty lines are dropped", "{}\r\n\n\n[1]\n", {"{}\r", "[1]"}},
        {"a line at the limit is whole", "12345678\nx\n", {"12345678", "x"}},
        {"a line past the limit is reported once, the next is whole", "123456789abc\nshort\n",
         {"<over limit>", "short"}},
        {"the last line counts without its 0x0A", "a\nlast", {"a", "last"}},
        {"an over-long last line is reported and not handed on", "a\n123456789", {"a", "<over limit>"}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const std::string_view input = testCase.input;
        EXPECT_EQ(linesOf({input}, limit), testCase.lines) << "whole";
        for (std::size_t split = 0; split <= input.size(); ++split) {
            EXPECT_EQ(linesOf({input.substr(0, split), input.substr(split)}, limit), testCase.lines)
                << "split at " << split;
        }
        std::vector<std::string_view> bytes;
        for (std::size_t index = 0; index < input.size(); ++index) bytes.push_back(input.substr(index, 1));
        EXPECT_EQ(linesOf(bytes, limit), testCase.lines) << "byte by byte";
    }
}

}  // namespace
}  // namespace lumenary::mcp
