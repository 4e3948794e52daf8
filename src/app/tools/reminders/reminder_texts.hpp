#pragma once

#include <string>
#include <vector>

#include "platform/calendar/event_store.hpp"

namespace lumenary::app {

// The answer of reminders_fetch: "No reminders found." or a header and one
// line per reminder with its list, due minute and priority, plus a notes
// line where it has notes.
std::string fetchedRemindersText(const std::vector<platform::StoreReminder>& reminders);

// The answer of reminders_find: the no-match text naming `query`, or a
// header and one line per reminder with its list.
std::string foundRemindersText(const std::vector<platform::StoreReminder>& reminders, const std::string& query);

// The answer of reminders_get_lists.
std::string reminderListsText(const std::vector<platform::StoreCalendar>& lists);

}  // namespace lumenary::app
