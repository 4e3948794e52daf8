#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

#include "mcp/core/version.hpp"

namespace lumenary::mcp {
namespace {

TEST(Version, LatestIsTheNewestSupportedRevision) {
    EXPECT_EQ(Version::latest(), "2025-03-26");
    EXPECT_EQ(Version::supported(), (std::unordered_set<std::string>{"2025-03-26", "2024-11-05"}));
}

TEST(Version, MembershipIsExactTextEquality) {
    EXPECT_TRUE(Version::supported().contains("2024-11-05"));
    for (const char* lookalike : {"2024-11-5", " 2024-11-05", "2024-11-05 ", "2024/11/05", "2025-03-27", ""}) {
        EXPECT_FALSE(Version::supported().contains(lookalike)) << '"' << lookalike << '"';
    }
}

}  // namespace
}  // namespace lumenary::mcp
