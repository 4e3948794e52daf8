#include "system/errno.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <unordered_set>

#include "mcp/core/json.hpp"
#include "system/system_coders.hpp"

namespace lumenary::system {
namespace {

std::string cLibraryText(int number) {
    char buffer[256];
    return ::strerror_r(number, buffer, sizeof buffer);
}

TEST(Errno, NamedConstantIsTheValueOfItsMacroAndHashesAlike) {
    EXPECT_EQ(Errno::interrupted, Errno{EINTR});
    const std::unordered_set<Errno> seen{Errno::interrupted};
    EXPECT_TRUE(seen.contains(Errno{EINTR}));
    EXPECT_NE(Errno::interrupted, Errno::brokenPipe);
}

// glibc always has a text, in the current locale; the library passes it on.
TEST(Errno, DescriptionIsTheCLibraryTextForKnownAndUnknownNumbers) {
    for (const int number : {ENOENT, EINTR, ESPIPE, ENODATA, 1234, -5}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(Errno{number}.description(), cLibraryText(number));
        EXPECT_EQ(Errno{number}.debugDescription(), Errno{number}.description());
    }
}

TEST(Errno, ConvertsToAGenericErrorCode) {
    EXPECT_EQ(Errno::noSuchFileOrDirectory.errorCode(), std::errc::no_such_file_or_directory);
    EXPECT_EQ(Errno{1234}.errorCode().category(), std::generic_category());
    EXPECT_EQ(Errno{1234}.errorCode().value(), 1234);
}

TEST(Errno, CodesAsABareNumberAndDecodesAny32BitNumber) {
    EXPECT_EQ(mcp::writeJSON(mcp::encodeValue(Errno::interrupted)), std::to_string(EINTR));
    for (const std::int64_t number : {std::int64_t{-2147483648LL}, std::int64_t{0}, std::int64_t{2147483647}}) {
        EXPECT_EQ(mcp::decodeValue<Errno>(mcp::Value(number)).rawValue(), number);
    }
    EXPECT_THROW(mcp::decodeValue<Errno>(mcp::Value(std::int64_t{2147483648LL})), mcp::DecodingError);
    EXPECT_THROW(mcp::decodeValue<Errno>(mcp::Value("4")), mcp::DecodingError);
}

}  // namespace
}  // namespace lumenary::system
