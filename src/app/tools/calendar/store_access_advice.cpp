#include "app/tools/calendar/store_access_advice.hpp"

namespace lumenary::app {

std::string storeAccessAdvice(const platform::EventStore& store, platform::EventStoreEntity entity) {
    const bool events = entity == platform::EventStoreEntity::events;
    const std::string folder = events ? "calendar folder" : "reminders folder";
    const std::string variable = events ? "LUMENARY_CALENDAR_DIR" : "LUMENARY_REMINDERS_DIR";
    const std::string key = events ? "calendarDirectory" : "remindersDirectory";
    return "Lumenary needs to read and write the " + folder + " " + store.locationDescription(entity) +
           ": make it a folder this user can read and write, or set " + variable + " or the defaults key " + key +
           " to one that is.";
}

std::string asSentence(std::string text) {
    if (text.empty() || text.back() != '.') {
        text.push_back('.');
    }
    return text;
}

}  // namespace lumenary::app
