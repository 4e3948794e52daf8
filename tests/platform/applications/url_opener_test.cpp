#include "platform/applications/url_opener.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/music/file_uri.hpp"
#include "support/scratch_desktop.hpp"

namespace lumenary::platform {
namespace {

using namespace std::chrono_literals;
using testing::ScratchDesktop;
using testing::TemporaryDirectory;

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
    TemporaryDirectory folder;
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

// xdg-open as a busy machine runs it: still at work when the status wait
// ends, whether it fails, succeeds or runs the handler in the foreground.
TEST_F(UrlOpenerTest, AnOpenerStillAtWorkWhenTheWaitEndsIsAnsweredByWhatTakesTheLink) {
    const std::string failsLate = "sleep 0.6\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n";
    const std::string succeedsLate = "sleep 0.6\n";
    // Until the test's folder goes, so that none outlives the test.
    const std::string staysRunning = "while [ -d '" + folder.path().string() + "' ]; do sleep 0.05; done\n";
    const std::string mail = "mailto:ada@example.org";
    const std::string noMethod = "UrlOpener: xdg-open: no method available for opening 'mailto:ada@example.org'";
    struct Case {
        std::string name;
        std::string opener;
        bool handlerSet;
        bool display;
        std::chrono::milliseconds verdictWait;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"nothing takes it", failsLate, false, true, 60s, noMethod},
        {"no display, so xdg-open ignores the default", failsLate, true, false, 60s, noMethod},
        {"a fallback took it", succeedsLate, false, true, 60s, "opened"},
        {"the default handler runs", staysRunning, true, true, 60s, "opened"},
        {"a fallback runs past the verdict wait", staysRunning, false, true, 1s, "opened"},
    };
    for (std::size_t index = 0; index < cases.size(); ++index) {
        const auto& [name, opener, handlerSet, display, verdictWait, expected] = cases[index];
        SCOPED_TRACE(name);
        ScratchDesktop scene;
        if (handlerSet) scene.installHandler();
        if (!display) scene.withoutDisplay();
        // One each: a shell reads its script as it goes, so a stand-in
        // still running must keep its own.
        const auto standIn = folder.path() / ("xdg-open-" + std::to_string(index));
        std::ofstream(standIn) << "#!/bin/sh\n" << opener;
        std::filesystem::permissions(standIn, std::filesystem::perms::owner_all);

        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(outcome(XdgUrlOpener(standIn.string(), 300ms, verdictWait).open(mail)), expected);
        // Answered on the defaults, not after the verdict wait.
        if (handlerSet && display) {
            EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
        }
    }
}

// The same for a file, whose default is found by the file's type, as
// either of xdg-mime's ways reads it.
class UrlOpenerForFilesTest : public ::testing::TestWithParam<testing::FileTypeReader> {};

TEST_P(UrlOpenerForFilesTest, AnOpenerStillAtWorkWhenTheWaitEndsIsAnsweredByTheDefaultForTheFilesType) {
    if (auto missing = ScratchDesktop::unavailable(GetParam())) GTEST_SKIP() << *missing;
    TemporaryDirectory folder;
    ScratchDesktop desktop(GetParam());
    desktop.installHandler(false, {"text/calendar"});
    const auto event = folder.path() / "été 1.ics";
    std::ofstream(event) << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//EN\r\nBEGIN:VEVENT\r\n"
                            "UID:1\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20260115T130000Z\r\n"
                            "SUMMARY:Launch\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    const auto standIn = folder.path() / "xdg-open";
    std::ofstream(standIn) << "#!/bin/sh\nwhile [ -d '" << folder.path().string() << "' ]; do sleep 0.05; done\n";
    std::filesystem::permissions(standIn, std::filesystem::perms::owner_all);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome(XdgUrlOpener(standIn.string(), 300ms, 60s).open(fileUri(event))), "opened");
    // Answered on the defaults, not after the verdict wait.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
}

INSTANTIATE_TEST_SUITE_P(, UrlOpenerForFilesTest, testing::everyFileTypeReader(), ::testing::PrintToStringParamName());

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
