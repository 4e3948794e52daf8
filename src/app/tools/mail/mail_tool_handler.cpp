#include "app/tools/mail/mail_tool_handler.hpp"

#include "app/tools/mail/mail_link.hpp"
#include "app/tools/tool_arguments.hpp"
#include "app/tools/tool_input_schema.hpp"
#include "async/worker_pool.hpp"

namespace lumenary::app {

MailToolHandler::MailToolHandler(std::shared_ptr<platform::UrlOpener> opener) : opener_(std::move(opener)) {}

std::vector<MCPTool> MailToolHandler::tools() const {
    return {
        {.name = "send_email",
         .description = "Send an email.",
         .displayDescription = "发送邮件。",
         .inputSchema = objectSchema({{"recipient", schemaProperty("string", "Recipient's email address")},
                                      {"subject", schemaProperty("string", "Email subject")},
                                      {"body", schemaProperty("string", "Email body content")}},
                                     {"recipient"})},
    };
}

asio::awaitable<ToolOutcome<std::string>> MailToolHandler::handle(std::string name, PlainDictionary arguments) {
    if (name != "send_email") {
        co_return ToolError("MailTool", 404, "Unknown mail tool: " + name);
    }
    auto recipient = textArgument(arguments, "recipient");
    if (!recipient) {
        co_return ToolError("LocalTool", 400, "Missing recipient");
    }
    co_return co_await sendEmail(std::move(*recipient), textArgument(arguments, "subject").value_or(""),
                                 textArgument(arguments, "body").value_or(""));
}

asio::awaitable<ToolOutcome<std::string>> MailToolHandler::sendEmail(std::string recipient, std::string subject,
                                                                     std::string body) {
    auto work = [opener = opener_, link = mailLink(recipient, subject, body)] { return opener->open(link); };
    const auto failure = co_await async::runBlocking(std::move(work));
    if (failure) {
        co_return ToolError("MailTool", 500, "Failed to open mail composer: " + failure->description);
    }
    co_return "Mail composer opened for " + recipient + ".";
}

}  // namespace lumenary::app
