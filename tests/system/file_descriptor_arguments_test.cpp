#include <fcntl.h>
#include <gtest/gtest.h>

#include <string>

#include "mcp/core/json.hpp"
#include "system/file_descriptor.hpp"
#include "system/system_coders.hpp"

namespace lumenary::system {
namespace {

struct OptionsCase {
    OpenOptions options;
    std::string description;
};

class OpenOptionsDescription : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(OpenOptionsDescription, NamesMembersInOrderAndShowsTheRestAsANumber) {
    EXPECT_EQ(GetParam().options.description(), GetParam().description);
    EXPECT_EQ(GetParam().options.debugDescription(), GetParam().description);
}

INSTANTIATE_TEST_SUITE_P(
    Values, OpenOptionsDescription,
    ::testing::Values(
        OptionsCase{OpenOptions(), "[]"},
        OptionsCase{OpenOptions::create | OpenOptions::truncate, "[.create, .truncate]"},
        OptionsCase{OpenOptions::truncate | OpenOptions::create, "[.create, .truncate]"},
        OptionsCase{OpenOptions(O_RDWR), "[OpenOptions(rawValue: " + std::to_string(O_RDWR) + ")]"},
        OptionsCase{OpenOptions::nonBlocking | OpenOptions(O_RDWR),
                    "[.nonBlocking, OpenOptions(rawValue: " + std::to_string(O_RDWR) + ")]"},
        OptionsCase{OpenOptions{OpenOptions::closeOnExec, OpenOptions::noFollow, OpenOptions::exclusiveCreate,
                                OpenOptions::append},
                    "[.append, .exclusiveCreate, .noFollow, .closeOnExec]"},
        OptionsCase{OpenOptions::directory, "[OpenOptions(rawValue: " + std::to_string(O_DIRECTORY) + ")]"}));

TEST(ArgumentDescriptions, UnknownRawValuesAreShownAsNumbers) {
    EXPECT_EQ(AccessMode::readWrite.description(), "readWrite");
    EXPECT_EQ(AccessMode(7).description(), "AccessMode(rawValue: 7)");
    EXPECT_EQ(SeekOrigin::nextHole.description(), "nextHole");
    EXPECT_EQ(SeekOrigin(9).description(), "SeekOrigin(rawValue: 9)");
    EXPECT_EQ(SeekOrigin(9).debugDescription(), "SeekOrigin(rawValue: 9)");
}

TEST(ArgumentCoding, EachCodesAsItsBareRawValue) {
    EXPECT_EQ(mcp::writeJSON(mcp::encodeValue(FileDescriptor::standardError)), "2");
    EXPECT_EQ(mcp::writeJSON(mcp::encodeValue(OpenOptions::create)), std::to_string(O_CREAT));
    EXPECT_EQ(mcp::writeJSON(mcp::encodeValue(SeekOrigin::end)), std::to_string(SEEK_END));
    EXPECT_EQ(mcp::decodeValue<AccessMode>(mcp::Value(std::int64_t{O_WRONLY})), AccessMode::writeOnly);
    EXPECT_EQ(mcp::decodeValue<OpenOptions>(mcp::Value(std::int64_t{-1})).rawValue(), -1);
    EXPECT_EQ(mcp::decodeValue<FileDescriptor>(mcp::Value(std::int64_t{42})), FileDescriptor(42));
}

}  // namespace
}  // namespace lumenary::system
