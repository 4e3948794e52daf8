#pragma once

#include <string>

#include "platform/applications/script_runner.hpp"
#include "platform/calendar/event_store.hpp"

namespace lumenary::app {

// The script that brings the calendar application forward and shows the
// event: the event of that calendar with that uid, else the day view of its
// start. Every value is escaped for the script's double-quoted strings.
std::string openEventScript(const platform::StoreEvent& event);

// What open_event answers for a run of that script: success, or a
// "❌ Failed to open event: " text (an ordinary answer, not an error).
std::string openEventAnswer(const platform::ScriptRunResult& result);

}  // namespace lumenary::app
