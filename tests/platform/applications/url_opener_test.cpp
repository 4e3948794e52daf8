#include "platform/applications/url_opener.hpp"

#include <gtest/gtest.h>

#include "support/scratch_desktop.hpp"

namespace lumenary::platform {
namespace {

using namespace std::chrono_literals;
using testing::ScratchDesktop;

// "opened", or the failure.
std::string outcome(const std::optional<PlatformError>& failure) {
    return failure ? failure->domain + ": " + failure->description : "opened";
}

class UrlOpenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ScratchDesktop::hasXdgOpen()) GTEST_SKIP() << "xdg-utils is not installed";
    }
    ScratchDesktop desktop;
};

TEST_F(UrlOpenerTest, AHandlerStillRunningWhenTheWaitEndsCountsAsOpened) {
    desktop.installHandler(true);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome(XdgUrlOpener("xdg-open", 300ms).open("mailto:ada@example.org")), "opened");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(desktop.receivedArgument(), "mailto:ada@example.org");
    desktop.releaseHandler();
}

TEST_F(UrlOpenerTest, WithoutAHandlerOrADisplayTheFailureCarriesWhatXdgOpenSaid) {
    EXPECT_EQ(outcome(XdgUrlOpener().open("mailto:ada@example.org")),
              "UrlOpener: xdg-open: no method available for opening 'mailto:ada@example.org'");

    desktop.installHandler();
    desktop.withoutDisplay();
    EXPECT_EQ(outcome(XdgUrlOpener().open("mailto:ada@example.org")),
              "UrlOpener: xdg-open: no method available for opening 'mailto:ada@example.org'");
    EXPECT_FALSE(desktop.handlerRan());
}

TEST(UrlOpener, AProgramThatIsNotThereOrFailsSilentlyIsNamedInTheFailure) {
    struct Case {
        std::string executable;
        std::string description;
    };
    const std::vector<Case> cases = {
        {"lumenary-no-such-opener", "lumenary-no-such-opener is not installed (it comes with the xdg-utils package)"},
        {"false", "false exited with status 1"},
    };
    for (const auto& [executable, description] : cases) {
        EXPECT_EQ(outcome(XdgUrlOpener(executable).open("mailto:ada@example.org")), "UrlOpener: " + description);
    }
}

}  // namespace
}  // namespace lumenary::platform
