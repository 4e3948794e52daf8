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

constexpr const char* calendarType = "text/calendar";

}  // namespace

RemindersToolHandler::RemindersToolHandler(std::shared_ptr<EventKitService> service,
                                           std::shared_ptr<platform::ApplicationLauncher> launcher,
                                           std::optional<std::string> application)
    : service_(std::move(service)), launcher_(std::move(launcher)), application_(std::move(application)) {}

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
    auto work = [launcher = launcher_, chosen = application_]() -> std::optional<std::string> {
        std::string application;
        if (chosen) {
            application = *chosen;
        } else {
            auto found = launcher->defaultApplication(calendarType);
            if (!found) {
                return found.error().description;
            }
            if (!found.value()) {
                return std::string(
                    "No application is set to open calendar files (text/calendar). Make your "
                    "calendar or task application the default for them, or set the defaults key "
                    "remindersApplication to its desktop file (org.gnome.Calendar.desktop).");
            }
            application = *found.value();
        }
        if (auto failure = launcher->launch(application)) {
            return failure->description;
        }
        return std::nullopt;
    };
    if (auto failure = co_await async::runBlocking(std::move(work))) {
        co_return ToolError("LocalTool", 500, *failure);
    }
    co_return "✅ Reminders app opened.";
}

}  // namespace lumenary::app
