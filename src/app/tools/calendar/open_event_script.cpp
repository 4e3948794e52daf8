#include "app/tools/calendar/open_event_script.hpp"

#include "app/tools/calendar/calendar_dates.hpp"

namespace lumenary::app {

std::string openEventScript(const platform::StoreEvent& event) {
    const auto calendar = platform::escapedForScriptString(event.calendar.title);
    const auto uid = platform::escapedForScriptString(event.identifier);
    const auto date = platform::escapedForScriptString(fullLocalDateText(event.start));
    return "  tell application \"Calendar\"\n"
           "      activate\n"
           "      set found to false\n"
           "      repeat with cal in calendars\n"
           "          if name of cal is \"" +
           calendar +
           "\" then\n"
           "              try\n"
           "                  set evt to (first event of cal whose uid is \"" +
           uid +
           "\")\n"
           "                  show evt\n"
           "                  set found to true\n"
           "                  exit repeat\n"
           "              end try\n"
           "          end if\n"
           "      end repeat\n"
           "      if not found then\n"
           "          switch view to day view\n"
           "          view calendar date (date \"" +
           date +
           "\")\n"
           "      end if\n"
           "  end tell";
}

std::string openEventAnswer(const platform::ScriptRunResult& result) {
    if (result.kind == platform::ScriptRunResult::Kind::succeeded) {
        return "✅ Event opened in Calendar";
    }
    if (result.kind == platform::ScriptRunResult::Kind::failed && result.errorMessage) {
        return "❌ Failed to open event: " + *result.errorMessage;
    }
    return "❌ Failed to open event: Unknown AppleScript error";
}

}  // namespace lumenary::app
