#include "app/tools/reminders/reminder_texts.hpp"

#include "app/tools/calendar/calendar_dates.hpp"

namespace lumenary::app {

namespace {

// A ballot box, with a check and the emoji selector once completed.
std::string markedTitle(const platform::StoreReminder& reminder) {
    return (reminder.isCompleted ? "☑️ " : "☐ ") + reminder.title.value_or("No Title");
}

std::string detailParts(const platform::StoreReminder& reminder) {
    std::vector<std::string> parts;
    if (reminder.list) {
        parts.push_back("List: " + reminder.list->title);
    }
    if (reminder.due) {
        parts.push_back("Due: " + dueDateText(*reminder.due));
    }
    if (reminder.priority >= 1) {
        parts.push_back("Priority: " + std::to_string(reminder.priority));
    }
    if (parts.empty()) {
        return "";
    }
    std::string text = " (";
    for (std::size_t index = 0; index < parts.size(); ++index) {
        text += (index == 0 ? "" : ", ") + parts[index];
    }
    return text + ")";
}

}  // namespace

std::string fetchedRemindersText(const std::vector<platform::StoreReminder>& reminders) {
    if (reminders.empty()) {
        return "No reminders found.";
    }
    std::string text = "✅ Found " + std::to_string(reminders.size()) + " reminders:\n";
    for (const auto& reminder : reminders) {
        text += markedTitle(reminder) + detailParts(reminder) + "\n";
        if (reminder.notes && !reminder.notes->empty()) {
            text += "   Notes: " + *reminder.notes + "\n";
        }
    }
    return text;
}

std::string foundRemindersText(const std::vector<platform::StoreReminder>& reminders, const std::string& query) {
    if (reminders.empty()) {
        return "No reminders found matching '" + query + "'.";
    }
    std::string text = "✅ Found " + std::to_string(reminders.size()) + " matching reminders:\n";
    for (const auto& reminder : reminders) {
        text += markedTitle(reminder);
        if (reminder.list) {
            text += " [" + reminder.list->title + "]";
        }
        text += "\n";
    }
    return text;
}

std::string reminderListsText(const std::vector<platform::StoreCalendar>& lists) {
    if (lists.empty()) {
        return "No reminder lists found.";
    }
    std::string text = "✅ Found " + std::to_string(lists.size()) + " reminder lists:\n";
    for (const auto& list : lists) {
        text += "- " + list.title + "\n";
    }
    return text;
}

}  // namespace lumenary::app
