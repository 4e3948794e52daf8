#pragma once

#include <string>
#include <string_view>

namespace lumenary::http {

// Whether the console may show what requests and replies carry: they hold
// message texts, note contents, even passwords, and the console often ends
// up in the session's journal. Only "LUMENARY_LOG_BODIES=1" in the
// environment asks for them.
bool isBodyLoggingRequested();

// What the console shows of a body: its byte count, or with `showsBodies`
// the text itself ("nil" when it is not UTF-8).
std::string consoleBody(std::string_view body, bool showsBodies);
// The same for a message sent on an event stream: with `showsBodies` its
// first hundred characters.
std::string consoleExcerpt(std::string_view message, bool showsBodies);

}  // namespace lumenary::http
