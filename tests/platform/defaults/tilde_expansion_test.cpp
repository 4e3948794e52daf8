#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/defaults/tilde_expansion.hpp"
#include "support/scoped_environment.hpp"

namespace lumenary::platform {
namespace {

TEST(TildeExpansion, ALeadingTildeOrTildeUserBecomesThatHomeAndEverythingElseStays) {
    struct Case {
        std::string home;
        std::string path;
        std::string expanded;
    };
    const std::vector<Case> cases = {
        {"/home/tester", "~", "/home/tester"},
        {"/home/tester", "~/a.png", "/home/tester/a.png"},
        {"/home/tester/", "~/a.png", "/home/tester/a.png"},
        {"/", "~/a.png", "/a.png"},
        {"/", "~", "/"},
        // The password database's root entry, whatever HOME says.
        {"/home/tester", "~root", "/root"},
        {"/home/tester", "~root/a.png", "/root/a.png"},
        {"/home/tester", "~no-such-user-here/a.png", "~no-such-user-here/a.png"},
        {"/home/tester", "a/~/b.png", "a/~/b.png"},
        {"/home/tester", "/~/b.png", "/~/b.png"},
        {"/home/tester", "b.png", "b.png"},
        {"/home/tester", "", ""},
    };
    for (const auto& [home, path, expanded] : cases) {
        lumenary::testing::ScopedEnvironment environment;
        environment.set("HOME", home);
        EXPECT_EQ(tildeExpandedPath(path), expanded) << path << " with HOME " << home;
    }
}

}  // namespace
}  // namespace lumenary::platform
