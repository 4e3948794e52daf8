#include "platform/url_opener.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string fileText(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// "opened", or the failure's description.
std::string outcome(const std::optional<PlatformError>& failure) {
    return failure ? failure->domain + ": " + failure->description : "opened";
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// The text of `path` once it exists and ends in a new line; empty past the
// deadline.
std::string awaitedFileText(const fs::path& path, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (auto text = fileText(path); !text.empty() && text.back() == '\n') {
            text.pop_back();
            return text;
        }
        std::this_thread::yield();
    }
    return {};
}

// A desktop without a desktop environment: xdg-open's generic mode, a
// display named but never used, and handlers only from the temporary
// folders. The handler writes the one argument it received to a file and,
// when asked, keeps running until the test lets it go.
class UrlOpenerTest : public ::testing::Test {
protected:
    UrlOpenerTest() {
        environment.set("XDG_CURRENT_DESKTOP", "X-Generic");
        environment.set("XDG_DATA_HOME", (folder.path() / "data").string());
        environment.set("XDG_DATA_DIRS", (folder.path() / "no-system-data").string());
        environment.set("XDG_CONFIG_HOME", (folder.path() / "config").string());
        environment.set("XDG_CONFIG_DIRS", (folder.path() / "no-system-config").string());
        environment.set("DISPLAY", ":75");
        environment.set("WAYLAND_DISPLAY", std::nullopt);
        // No browser to fall back on.
        environment.set("BROWSER", (folder.path() / "no-browser").string());
    }

    void installHandler(bool waitsForRelease) {
        const auto handler = folder.path() / "handler.sh";
        std::string script = "#!/bin/sh\nprintf '%s\\n' \"$1\" > '" + receivedFile().string() + "'\n";
        if (waitsForRelease) {
            script += "while [ ! -e '" + releaseFile().string() + "' ]; do sleep 0.02; done\n";
        }
        writeFile(handler, script);
        ::chmod(handler.c_str(), 0755);
        writeFile(folder.path() / "data/applications/lumenary-test-handler.desktop",
                  "[Desktop Entry]\nType=Application\nName=Test handler\nExec=" + handler.string() +
                      " %u\nMimeType=x-scheme-handler/mailto;x-scheme-handler/https;\n");
        writeFile(folder.path() / "data/applications/mimeapps.list",
                  "[Default Applications]\nx-scheme-handler/mailto=lumenary-test-handler.desktop\n"
                  "x-scheme-handler/https=lumenary-test-handler.desktop\n");
    }

    fs::path receivedFile() const { return folder.path() / "received"; }
    fs::path releaseFile() const { return folder.path() / "release"; }

    testing::TemporaryDirectory folder;
    testing::ScopedEnvironment environment;
};

TEST_F(UrlOpenerTest, TheHandlerForTheLinksSchemeReceivesTheLinkAsItsOneArgument) {
    if (!fs::exists("/usr/bin/xdg-open")) GTEST_SKIP() << "xdg-utils is not installed";
    installHandler(false);
    for (const std::string link : {"mailto:ada%40example.org?subject=Q%26A&body=a%20b%0D%0A%22c%22",
                                   "https://www.openstreetmap.org/search?query=Caf%C3%A9%20%26%20Bar"}) {
        fs::remove(receivedFile());
        EXPECT_EQ(outcome(XdgUrlOpener().open(link)), "opened") << link;
        EXPECT_EQ(awaitedFileText(receivedFile()), link);
    }
}

TEST_F(UrlOpenerTest, AHandlerStillRunningWhenTheWaitEndsCountsAsOpened) {
    if (!fs::exists("/usr/bin/xdg-open")) GTEST_SKIP() << "xdg-utils is not installed";
    installHandler(true);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome(XdgUrlOpener("xdg-open", 300ms).open("mailto:ada@example.org")), "opened");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(awaitedFileText(receivedFile()), "mailto:ada@example.org");
    writeFile(releaseFile(), "");
}

TEST_F(UrlOpenerTest, WithoutAHandlerOrADisplayTheFailureCarriesWhatXdgOpenSaid) {
    if (!fs::exists("/usr/bin/xdg-open")) GTEST_SKIP() << "xdg-utils is not installed";
    EXPECT_EQ(outcome(XdgUrlOpener().open("mailto:ada@example.org")),
              "UrlOpener: xdg-open: no method available for opening 'mailto:ada@example.org'");

    installHandler(false);
    environment.set("DISPLAY", std::nullopt);
    EXPECT_EQ(outcome(XdgUrlOpener().open("mailto:ada@example.org")),
              "UrlOpener: xdg-open: no method available for opening 'mailto:ada@example.org'");
    EXPECT_FALSE(fs::exists(receivedFile()));
}

TEST_F(UrlOpenerTest, AProgramThatIsNotThereOrFailsSilentlyIsNamedInTheFailure) {
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
