#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/defaults/memory_defaults_store.hpp"
#include "platform/messages/kde_connect_message_sender.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform {
namespace {

using namespace std::chrono_literals;
using Arguments = std::vector<std::string>;

// A kdeconnect-cli put first on PATH that writes each call's argument
// vector to a file of its own (every argument ended by a NUL, so nothing an
// argument holds can blur the boundaries), answers `-a` with the device
// listing the test set, and answers a send with the status and message the
// test set.
class FakeKdeConnect {
public:
    FakeKdeConnect() {
        std::filesystem::create_directories(bin() / "calls");
        setDevices("");
        setSendAnswer(0, "");
        std::ofstream(bin() / "kdeconnect-cli")
            << "#!/bin/sh\n"
               "PATH=/usr/bin:/bin\n"
               "here='"
            << bin().string()
            << "'\n"
               "call=$(ls \"$here/calls\" | wc -l)\n"
               "for argument in \"$@\"; do printf '%s\\0' \"$argument\"; done > \"$here/calls/$call\"\n"
               "if [ -e \"$here/hang\" ]; then exec sleep 60; fi\n"
               "if [ \"$1\" = -a ]; then cat \"$here/devices\"; exit 0; fi\n"
               "cat \"$here/send-error\" >&2\n"
               "exit $(cat \"$here/send-status\")\n";
        std::filesystem::permissions(bin() / "kdeconnect-cli", std::filesystem::perms::owner_all);
        environment_.set("PATH", bin().string() + ":" + std::getenv("PATH"));
    }

    const std::filesystem::path& bin() const { return folder_.path(); }

    void setDevices(const std::string& listing) { std::ofstream(bin() / "devices") << listing; }
    void setSendAnswer(int status, const std::string& error) {
        std::ofstream(bin() / "send-status") << status;
        std::ofstream(bin() / "send-error") << error;
    }
    void hang() { std::ofstream(bin() / "hang"); }

    // Each call's arguments, in the order of the calls.
    std::vector<Arguments> calls() const {
        std::vector<Arguments> calls;
        for (std::size_t index = 0; std::filesystem::exists(callFile(index)); ++index) {
            std::ifstream file(callFile(index), std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(file), {}};
            Arguments arguments;
            for (std::size_t start = 0; start < bytes.size();) {
                const auto end = bytes.find('\0', start);
                arguments.push_back(bytes.substr(start, end - start));
                start = end + 1;
            }
            calls.push_back(std::move(arguments));
        }
        return calls;
    }

private:
    std::filesystem::path callFile(std::size_t index) const { return bin() / "calls" / std::to_string(index); }

    lumenary::testing::TemporaryDirectory folder_;
    lumenary::testing::ScopedEnvironment environment_;
};

class KdeConnectMessageSenderTest : public ::testing::Test {
protected:
    FakeKdeConnect kdeConnect;
};

TEST_F(KdeConnectMessageSenderTest, EachTextArrivesAsOneArgumentExactlyAsWritten) {
    kdeConnect.setDevices("phone-1\n");
    const std::vector<std::string> texts{
        R"(He said "hi" and 'bye')",
        "first line\nsecond line",
        "-v looks like an option",
        "--help",
        "Grüße, 你好 👋",
        R"(back\slash $(touch /tmp/pwned) `id` ; | & *)",
        "",
    };
    for (const auto& text : texts) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(KdeConnectMessageSender().send("+15551234567", text));
        const auto calls = kdeConnect.calls();
        EXPECT_EQ(calls.back(), (Arguments{"--device=phone-1", "--destination=+15551234567", "--send-sms=" + text}));
    }
}

TEST_F(KdeConnectMessageSenderTest, TheDeviceIsTheConfiguredOneElseTheFirstReachableOne) {
    kdeConnect.setDevices("3 devices found\n\n  phone-a  \nphone-b\n");
    EXPECT_FALSE(KdeConnectMessageSender().send("+15551234567", "via the listing"));
    EXPECT_EQ(
        kdeConnect.calls(),
        (std::vector<Arguments>{{"-a", "--id-only"},
                                {"--device=phone-a", "--destination=+15551234567", "--send-sms=via the listing"}}));

    MemoryDefaultsStore defaults;
    defaults.set("messagesDevice", mcp::Value("tablet-9"));
    EXPECT_FALSE(makeKdeConnectMessageSender(defaults)->send("+15551234567", "via the key"));
    EXPECT_EQ(kdeConnect.calls().size(), 3U) << "a configured device needs no listing";
    EXPECT_EQ(kdeConnect.calls().back(),
              (Arguments{"--device=tablet-9", "--destination=+15551234567", "--send-sms=via the key"}));
}

TEST_F(KdeConnectMessageSenderTest, EachFailureSaysWhyAndSendsNothingAfterIt) {
    struct Case {
        const char* name;
        std::string devices;
        int sendStatus;
        std::string sendError;
        int code;
        std::string description;
        std::size_t calls;
    };
    const std::vector<Case> cases{
        {"no reachable device", "", 0, "", ENODEV,
         "no phone paired with KDE Connect is reachable. Pair a phone in KDE Connect and keep it on the same network, "
         "or set the defaults key messagesDevice to the id of one (kdeconnect-cli -a --id-only lists the reachable "
         "ones).",
         1},
        {"the tool refuses with a message", "phone-1\n", 1, "error: Device not reachable\n", EIO,
         "kdeconnect-cli failed: error: Device not reachable", 2},
        {"the tool refuses silently", "phone-1\n", 3, "", EIO, "kdeconnect-cli failed: it ended with status 3", 2},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FakeKdeConnect fresh;
        fresh.setDevices(testCase.devices);
        fresh.setSendAnswer(testCase.sendStatus, testCase.sendError);

        const auto failure = KdeConnectMessageSender().send("+15551234567", "hello");
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->domain, "MessageSender");
        EXPECT_EQ(failure->code, testCase.code);
        EXPECT_EQ(failure->description, testCase.description);
        EXPECT_EQ(fresh.calls().size(), testCase.calls);
    }
}

TEST_F(KdeConnectMessageSenderTest, WithoutTheToolTheFailureSaysWhatSendingNeeds) {
    lumenary::testing::TemporaryDirectory empty;
    lumenary::testing::ScopedEnvironment environment;
    environment.set("PATH", empty.path().string());

    const auto failure = KdeConnectMessageSender().send("+15551234567", "hello");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, ENOENT);
    EXPECT_EQ(failure->description,
              "kdeconnect-cli was not found. Sending needs KDE Connect (the Debian package kdeconnect) and a phone "
              "paired with it.");
}

TEST_F(KdeConnectMessageSenderTest, AToolThatDoesNotAnswerIsStoppedAtTheDeadline) {
    kdeConnect.hang();
    const auto started = std::chrono::steady_clock::now();

    const auto failure = KdeConnectMessageSender({.device = "phone-1", .deadline = 300ms}).send("+15551234567", "hi");

    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, ETIMEDOUT);
    EXPECT_EQ(failure->description, "kdeconnect-cli did not finish within 300 ms.");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST_F(KdeConnectMessageSenderTest, ANulCharacterOrNoNumberIsRefusedBeforeAnythingRuns) {
    kdeConnect.setDevices("phone-1\n");
    const auto withNul = KdeConnectMessageSender().send("+15551234567", std::string("cut\0here", 8));
    ASSERT_TRUE(withNul);
    EXPECT_EQ(withNul->code, EINVAL);
    const auto withoutNumber = KdeConnectMessageSender().send("", "hello");
    ASSERT_TRUE(withoutNumber);
    EXPECT_EQ(withoutNumber->code, EINVAL);
    EXPECT_TRUE(kdeConnect.calls().empty());
}

}  // namespace
}  // namespace lumenary::platform
