#include "system/file_permissions.hpp"

#include <gtest/gtest.h>

#include <string>

#include "mcp/core/json.hpp"
#include "system/system_coders.hpp"

namespace lumenary::system {
namespace {

struct DescriptionCase {
    std::uint16_t rawValue;
    const char* description;
};

class FilePermissionsDescription : public ::testing::TestWithParam<DescriptionCase> {};

// The widest mask of each class names its bits first; only leftover bits
// show as a number.
TEST_P(FilePermissionsDescription, NamesEveryBitOnce) {
    const FilePermissions permissions(GetParam().rawValue);
    EXPECT_EQ(permissions.description(), GetParam().description);
    EXPECT_EQ(permissions.debugDescription(), GetParam().description);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FilePermissionsDescription,
    ::testing::Values(
        DescriptionCase{0, "[]"},
        DescriptionCase{0755, "[.ownerReadWriteExecute, .groupReadExecute, .otherReadExecute]"},
        DescriptionCase{0644, "[.ownerReadWrite, .groupRead, .otherRead]"},
        DescriptionCase{0310, "[.ownerWriteExecute, .groupExecute]"},
        DescriptionCase{010000, "[FilePermissions(rawValue: 4096)]"},
        DescriptionCase{010400, "[.ownerRead, FilePermissions(rawValue: 4096)]"},
        DescriptionCase{07777, "[.ownerReadWriteExecute, .groupReadWriteExecute, .otherReadWriteExecute, "
                               ".setUserID, .setGroupID, .saveText]"}));

TEST(FilePermissionsSetAlgebra, InsertRemoveAndUpdateAnswerWithTheBitsConcerned) {
    FilePermissions permissions = FilePermissions::ownerReadWrite;

    const auto [inserted, member] = permissions.insert(FilePermissions::ownerRead);
    EXPECT_FALSE(inserted);
    EXPECT_EQ(member, FilePermissions::ownerRead);
    EXPECT_EQ(permissions.rawValue(), 0600);

    EXPECT_EQ(permissions.remove(FilePermissions::ownerExecute), std::nullopt);
    EXPECT_EQ(permissions.rawValue(), 0600);

    EXPECT_EQ(permissions.remove(FilePermissions::ownerReadExecute), FilePermissions::ownerRead);
    EXPECT_EQ(permissions.rawValue(), 0200);

    EXPECT_EQ(permissions.update(FilePermissions::ownerReadWrite), FilePermissions::ownerWrite);
    EXPECT_EQ(permissions.update(FilePermissions::groupRead), std::nullopt);
    EXPECT_EQ(permissions.rawValue(), 0640);
}

TEST(FilePermissionsSetAlgebra, ListedMembersFormTheirUnion) {
    const FilePermissions permissions{FilePermissions::ownerReadWrite, FilePermissions::groupRead,
                                      FilePermissions::otherRead};
    EXPECT_EQ(permissions.rawValue(), 0644);
    EXPECT_TRUE(permissions.isSuperset(FilePermissions::ownerRead));
    EXPECT_TRUE(FilePermissions::ownerRead.isSubset(permissions));
    EXPECT_TRUE(permissions.isDisjoint(FilePermissions::otherWrite));
    EXPECT_EQ(permissions.subtracting(FilePermissions::ownerReadWrite).rawValue(), 044);
    EXPECT_EQ(permissions.symmetricDifference(FilePermissions::otherReadWrite).rawValue(), 0642);
    EXPECT_TRUE(FilePermissions{}.isEmpty());
}

TEST(FilePermissionsCoding, CodesAsABareNumberAndDecodesAny16BitValue) {
    EXPECT_EQ(mcp::writeJSON(mcp::encodeValue(FilePermissions(0644))), "420");
    EXPECT_EQ(mcp::decodeValue<FilePermissions>(mcp::Value(std::int64_t{65535})).rawValue(), 65535);
    EXPECT_THROW(mcp::decodeValue<FilePermissions>(mcp::Value(std::int64_t{65536})), mcp::DecodingError);
    EXPECT_THROW(mcp::decodeValue<FilePermissions>(mcp::Value(std::int64_t{-1})), mcp::DecodingError);
}

}  // namespace
}  // namespace lumenary::system
