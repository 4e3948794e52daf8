#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/tools/tool_category.hpp"
#include "platform/applications/url_opener.hpp"

namespace lumenary::app {

// The mail category: send_email opens a composer in the user's mail
// program with a mailto: link; the user sends the message. Holds no state.
class MailToolHandler final : public ToolCategory {
public:
    explicit MailToolHandler(std::shared_ptr<platform::UrlOpener> opener);

    std::vector<MCPTool> tools() const override;
    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override;

    // Opens the composer; "MailTool" 500 with the opener's reason when no
    // program took the link.
    asio::awaitable<ToolOutcome<std::string>> sendEmail(std::string recipient, std::string subject, std::string body);

private:
    std::shared_ptr<platform::UrlOpener> opener_;
};

}  // namespace lumenary::app
