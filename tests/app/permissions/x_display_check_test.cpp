#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "platform/desktop/x_display.hpp"
#include "support/desktop_session.hpp"
#include "support/scoped_environment.hpp"

namespace lumenary::platform {
namespace {

struct NoDisplayCase {
    std::optional<std::string> display;
    std::string reasonStart;
};

TEST(XDisplayUnavailability, SaysWhyWhenNoDisplayAnswers) {
    const std::vector<NoDisplayCase> cases{
        {std::nullopt, "No X display is set"},
        {"", "No X display is set"},
        // A display number no server listens on.
        {":4093", "The X display \":4093\" does not open"},
    };
    for (const auto& [display, reasonStart] : cases) {
        SCOPED_TRACE(display.value_or("(unset)"));
        testing::ScopedEnvironment environment;
        environment.set("DISPLAY", display);
        const auto problem = xDisplayUnavailability();
        ASSERT_TRUE(problem);
        EXPECT_TRUE(problem->starts_with(reasonStart)) << *problem;
    }
}

TEST(XDisplayUnavailability, IsNothingWhileAnXServerAnswers) {
    auto started = testing::DesktopSession::start();
    if (auto* reason = std::get_if<std::string>(&started)) {
        GTEST_SKIP() << "no private X display: " << *reason;
    }
    EXPECT_EQ(xDisplayUnavailability(), std::nullopt);
}

}  // namespace
}  // namespace lumenary::platform
