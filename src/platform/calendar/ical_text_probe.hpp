#pragma once

#include <string_view>

namespace lumenary::platform {

// Whether an iCalendar text may hold `word` (upper-case ASCII), in any
// letter case and with folded lines joined again. A test that costs far less
// than a parse: false only when the word cannot be in the text, so a file
// that cannot hold what a question asks for is not parsed at all.
bool icalTextMayMention(std::string_view text, std::string_view word);

}  // namespace lumenary::platform
