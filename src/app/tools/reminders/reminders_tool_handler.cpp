#include "app/tools/reminders/reminders_tool_handler.hpp"

#include "app/tools/calendar/date_argument.hpp"
#include "app/tools/calendar/store_access_advice.hpp"
#include "app/tools/reminders/reminder_texts.hpp"
#include "app/tools/tool_arguments.hpp"
#include "async/worker_pool.hpp"

namespace lumenary::app {

namespace {

// Any wider range is refused by other programs that read the same folder.
constexpr std::int64_t lowestPriority = 9;

ToolError failure(const std::string& what, const platform::PlatformError& error) {
    return ToolError("LocalTool", 500, what + error.description);
}

struct OpenAppAttempt {
    platform::ScriptRunResult result;
    // Where the reminders live, for a failure's advice.
    std::string advice;
};

}  // namespace

RemindersToolHandler::RemindersToolHandler(std::shared_ptr<EventKitService> service,
                                           std::shared_ptr<platform::ScriptRunner> scripts)
    : service_(std::move(service)), scripts_(std::move(scripts)) {}

asio::awaitable<ToolOutcome<std::string>> RemindersToolHandler::handle(std::string name, PlainDictionary arguments) {
    if (name == "reminders_add") {
        co_return co_await add(arguments);
    }
    if (name == "reminders_fetch") {
        co_return co_await fetch(arguments);
    }
    if (name == "reminders_find") {
        co_return co_await find(arguments);
    }
    if (name == "reminders_get_lists") {
        co_return co_await getLists();
    }
    if (name == "reminders_open_app") {
        co_return co_await openApp();
    }
    co_return ToolError("RemindersTool", 404, "Unknown reminders tool: " + name);
}

asio::awaitable<ToolOutcome<std::string>> RemindersToolHandler::add(const PlainDictionary& arguments) {
    auto title = textArgument(arguments, "title");
    if (!title) {
        co_return ToolError("LocalTool", 400, "Missing required parameter: title");
    }
    const auto priority = integerArgument(arguments, "priority").value_or(0);
    if (priority < 0 || priority > lowestPriority) {
        co_return ToolError("LocalTool", 400,
                            "Invalid parameter: priority must be from 0 to 9 (1 is highest, 9 is lowest, 0 is none)");
    }
    const auto dueDate = dateArgument(arguments, "dueDate", "LocalTool");
    if (!dueDate) {
        co_return dueDate.error();
    }
    auto created = co_await service_->createReminder(
        *title, dueDate.value(), priority, textArgument(arguments, "notes"), textArgument(arguments, "listName"));
    if (!created) {
        co_return failure("Failed to create reminder: ", created.error());
    }
    co_return "✅ Created reminder: " + *title + " (ID: " + created.value() + ")";
}

asio::awaitable<ToolOutcome<std::string>> RemindersToolHandler::fetch(const PlainDictionary& arguments) {
    const bool completed = textArgument(arguments, "status").value_or("incomplete") == "completed";
    const auto dueAfter = dateArgument(arguments, "dueAfter", "LocalTool");
    if (!dueAfter) {
        co_return dueAfter.error();
    }
    const auto dueBefore = dateArgument(arguments, "dueBefore", "LocalTool");
    if (!dueBefore) {
        co_return dueBefore.error();
    }
    auto reminders = co_await service_->fetchReminders(completed, textArgument(arguments, "listName"), dueAfter.value(),
                                                       dueBefore.value(), integerArgument(arguments, "limit"));
    if (!reminders) {
        co_return failure("Failed to fetch reminders: ", reminders.error());
    }
    co_return fetchedRemindersText(reminders.value());
}

asio::awaitable<ToolOutcome<std::string>> RemindersToolHandler::find(const PlainDictionary& arguments) {
    auto query = textArgument(arguments, "query");
    if (!query) {
        co_return ToolError("LocalTool", 400, "Missing required parameter: query");
    }
    auto reminders = co_await service_->searchReminders(*query, integerArgument(arguments, "limit").value_or(20));
    if (!reminders) {
        co_return failure("Failed to search reminders: ", reminders.error());
    }
    co_return foundRemindersText(reminders.value(), *query);
}

asio::awaitable<ToolOutcome<std::string>> RemindersToolHandler::getLists() {
    auto lists = co_await service_->fetchReminderLists();
    if (!lists) {
        co_return failure("Failed to get reminder lists: ", lists.error());
    }
    co_return reminderListsText(lists.value());
}

asio::awaitable<ToolOutcome<std::string>> RemindersToolHandler::openApp() {
    auto work = [scripts = scripts_, store = service_->eventStore()] {
        auto result = scripts->run(R"(tell application "Reminders" to activate)");
        std::string advice;
        if (result.kind == platform::ScriptRunResult::Kind::failed) {
            advice = "Reminders are kept as files in the reminders folder " +
                     store->locationDescription(platform::EventStoreEntity::reminders) +
                     ": open them with a to-do program that reads that folder, or set LUMENARY_REMINDERS_DIR or "
                     "the defaults key remindersDirectory to the folder your to-do program uses.";
        }
        return OpenAppAttempt{std::move(result), std::move(advice)};
    };
    auto attempt = co_await async::runBlocking(std::move(work));
    switch (attempt.result.kind) {
        case platform::ScriptRunResult::Kind::notCreated:
            co_return ToolError("LocalTool", 500, "Failed to create AppleScript");
        case platform::ScriptRunResult::Kind::failed:
            co_return ToolError("LocalTool", 500,
                                "Script Error: " + asSentence(attempt.result.errorDescription) + " " + attempt.advice);
        case platform::ScriptRunResult::Kind::succeeded: break;
    }
    co_return "✅ Reminders app opened.";
}

}  // namespace lumenary::app
