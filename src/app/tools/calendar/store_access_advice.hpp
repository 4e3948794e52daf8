#pragma once

#include <string>

#include "platform/calendar/event_store.hpp"

namespace lumenary::app {

// What a user on this platform does when the store refuses an entity: the
// folder that failed and the two ways to choose another, as in "Lumenary
// needs to read and write the calendar folder /home/ada/.local/share/calendars:
// ... or set LUMENARY_CALENDAR_DIR or the defaults key calendarDirectory ...".
// Reads the store's location, which may touch the disk.
std::string storeAccessAdvice(const platform::EventStore& store, platform::EventStoreEntity entity);

// `text` as a sentence: a full stop added unless it ends in one already.
std::string asSentence(std::string text);

}  // namespace lumenary::app
