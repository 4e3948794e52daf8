#include <gtest/gtest.h>

#include <memory>

#include "app/tools/category_call.hpp"
#include "app/tools/mail/mail_tool_handler.hpp"
#include "support/recording_url_opener.hpp"
#include "support/scratch_desktop.hpp"

namespace lumenary::app {
namespace {

using testing::categoryCallText;

class MailToolsTest : public ::testing::Test {
protected:
    std::shared_ptr<lumenary::testing::RecordingUrlOpener> opener =
        std::make_shared<lumenary::testing::RecordingUrlOpener>();
    MailToolHandler mail{opener};
};

TEST_F(MailToolsTest, SendEmailOpensAMailtoLinkWhoseValuesCannotEndTheirFieldOrAddOne) {
    struct Case {
        std::string recipient;
        std::string subject;
        std::string body;
        std::string link;
    };
    const std::vector<Case> cases = {
        {"ada@example.org", "", "", "mailto:ada@example.org"},
        {"ada@example.org", "Hello World", "", "mailto:ada@example.org?subject=Hello%20World"},
        {"ada@example.org", "", "See you", "mailto:ada@example.org?body=See%20you"},
        {"ada@example.org", "Hi", "There", "mailto:ada@example.org?subject=Hi&body=There"},
        {"ada@example.org", "Q&A", "", "mailto:ada@example.org?subject=Q%26A"},
        {"ada@example.org", "a=b?c#d+e%f", "x&cc=eve@example.org",
         "mailto:ada@example.org?subject=a%3Db%3Fc%23d%2Be%25f&body=x%26cc%3Deve@example.org"},
        {"ada@example.org", "\"quoted\" <tag> [x] {y} back\\slash/", "",
         "mailto:ada@example.org?subject=%22quoted%22%20%3Ctag%3E%20%5Bx%5D%20%7By%7D%20back%5Cslash%2F"},
        {"ada@example.org", "", "Hi! ($5) 'x' *y*, a;b:c@d -._~",
         "mailto:ada@example.org?body=Hi!%20($5)%20'x'%20*y*,%20a;b:c@d%20-._~"},
        {"ada@example.org", "", "one\ntwo\r\nthree\rend", "mailto:ada@example.org?body=one%0D%0Atwo%0D%0Athree%0D%0Aend"},
        {"ada@example.org", "", "Grüße, 日本", "mailto:ada@example.org?body=Gr%C3%BC%C3%9Fe,%20%E6%97%A5%E6%9C%AC"},
        {"a@b.example?bcc=x@c.example", "", "", "mailto:a@b.example%3Fbcc%3Dx@c.example"},
        {"ada@example.org,bob@example.org", "", "", "mailto:ada@example.org,bob@example.org"},
        {"Ada Lovelace <ada@example.org>", "", "", "mailto:Ada%20Lovelace%20%3Cada@example.org%3E"},
        {"", "", "", "mailto:"},
        {"ada@example.org", "", std::string(10'000, 'x'), "mailto:ada@example.org?body=" + std::string(10'000, 'x')},
    };
    for (const auto& [recipient, subject, body, link] : cases) {
        PlainDictionary arguments{{"recipient", recipient}};
        if (!subject.empty()) arguments["subject"] = subject;
        if (!body.empty()) arguments["body"] = body;
        EXPECT_EQ(categoryCallText(mail, "send_email", arguments), "Mail composer opened for " + recipient + ".");
        EXPECT_EQ(opener->links().back(), link);
    }
}

TEST_F(MailToolsTest, ArgumentsOfAnotherKindCountAsAbsent) {
    struct Case {
        PlainDictionary arguments;
        std::string answer;
        std::optional<std::string> link;
    };
    const std::vector<Case> cases = {
        {{}, "LocalTool 400 Missing recipient", std::nullopt},
        {{{"recipient", 42}}, "LocalTool 400 Missing recipient", std::nullopt},
        {{{"recipient", PlainValue()}}, "LocalTool 400 Missing recipient", std::nullopt},
        {{{"recipient", "ada@example.org"}, {"subject", 7}, {"body", true}},
         "Mail composer opened for ada@example.org.",
         "mailto:ada@example.org"},
    };
    for (const auto& [arguments, answer, link] : cases) {
        const auto before = opener->links().size();
        EXPECT_EQ(categoryCallText(mail, "send_email", arguments), answer);
        if (link) {
            EXPECT_EQ(opener->links().back(), *link);
        } else {
            EXPECT_EQ(opener->links().size(), before) << answer;
        }
    }
}

TEST_F(MailToolsTest, AnUnknownNameIsRefusedBeforeItsArgumentsAreRead) {
    EXPECT_EQ(categoryCallText(mail, "send_mail", {}), "MailTool 404 Unknown mail tool: send_mail");
    EXPECT_TRUE(opener->links().empty());
}

TEST_F(MailToolsTest, ALinkNoProgramTakesIsAnErrorWithTheOpenersReason) {
    opener->failWith(platform::PlatformError{
        "UrlOpener", 500, "xdg-open: no method available for opening 'mailto:ada@example.org'"});
    EXPECT_EQ(categoryCallText(mail, "send_email", {{"recipient", "ada@example.org"}}),
              "MailTool 500 Failed to open mail composer: xdg-open: no method available for opening "
              "'mailto:ada@example.org'");
}

TEST(MailToolWithXdgOpen, TheDesktopsMailHandlerReceivesTheLink) {
    if (!lumenary::testing::ScratchDesktop::hasXdgOpen()) GTEST_SKIP() << "xdg-utils is not installed";
    lumenary::testing::ScratchDesktop desktop;
    MailToolHandler mail(std::make_shared<platform::XdgUrlOpener>());

    EXPECT_EQ(categoryCallText(mail, "send_email", {{"recipient", "ada@example.org"}, {"subject", "Q&A"}}),
              "MailTool 500 Failed to open mail composer: xdg-open: no method available for opening "
              "'mailto:ada@example.org?subject=Q%26A'");

    desktop.installHandler();
    EXPECT_EQ(categoryCallText(mail, "send_email",
                               {{"recipient", "ada@example.org"}, {"subject", "Q&A"}, {"body", "Line 1\nLine 2"}}),
              "Mail composer opened for ada@example.org.");
    EXPECT_EQ(desktop.receivedArgument(), "mailto:ada@example.org?subject=Q%26A&body=Line%201%0D%0ALine%202");
}

}  // namespace
}  // namespace lumenary::app
