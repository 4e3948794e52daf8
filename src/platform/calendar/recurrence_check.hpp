#pragma once

#include <string>

#include <libical/ical.h>

namespace lumenary::platform {

// Whether a repeat rule can be expanded at all, decided from the rule and
// its start alone before it is expanded (DayByDayRecurrence). A rule whose
// parts can never all hold (BYSETPOS included), or that holds parts RFC
// 5545 does not allow for its FREQ, stands for its start alone (RFC 5545 counts DTSTART as the first
// occurrence). The Gregorian calendar repeats every 400 years, so whether
// any day can ever pass is decided over one such cycle: at most 146,097
// days, and most rules are found to hold on their first days.
enum class RecurrenceVerdict {
    expandable,
    // The rule's parts can never all hold after its start.
    neverHolds,
    // A part this reader does not expand: another calendar scale, a skip
    // rule, or a part that is not allowed with the rule's FREQ.
    notExpandable,
};

struct RecurrenceCheck {
    RecurrenceVerdict verdict = RecurrenceVerdict::expandable;
    // Why, for a console line, when the rule is not expandable.
    std::string reason;
};

RecurrenceCheck checkRecurrence(const icalrecurrencetype& rule, const icaltimetype& start);

// Whether the rule repeats more often than daily.
bool isSubDaily(const icalrecurrencetype& rule);

}  // namespace lumenary::platform
