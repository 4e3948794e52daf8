#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lumenary::platform {

// What libical would build from an iCalendar text, measured without
// parsing it: one pass over the text read the way libical reads it (the
// text ends at its first NUL, a byte order mark is skipped, lines are split
// and unfolded as libical does), keeping nothing but the counts.
struct ICalTextShape {
    // How deep components nest, the outermost at 1 (one more when several
    // outermost ones are gathered under one root).
    std::size_t nestingDepth = 0;
    std::size_t components = 0;
    // With the ones libical adds to describe a line it could not read, and
    // one for each value of a list it cuts into properties (CATEGORIES,
    // RESOURCES, EXDATE, RDATE, FREEBUSY).
    std::size_t properties = 0;
    // Those of such a list's line once for each of its values, as libical
    // gives each value's property all of them.
    std::size_t parameters = 0;
    // RRULE and EXRULE properties.
    std::size_t recurrenceRules = 0;
    std::size_t mostParametersOnAProperty = 0;
    // The largest, over the properties, of parameters times the unfolded
    // line's length in bytes.
    std::size_t mostParameterWork = 0;
    // In bytes, as libical looks for line ends: lines ending in a carriage
    // return alone after the last line feed count as one.
    std::size_t longestRawLine = 0;
};

ICalTextShape icalTextShapeOf(std::string_view text);

// What libical may be given. libical frees, copies and writes its tree by
// recursion, looks for a line's end once per 79 bytes across the whole
// line, looks for a property's value once per parameter across the rest of
// its line, and keeps every component, property and recurrence rule as an
// object of its own (a rule takes about 3 KB). Each bound keeps one of
// these far from what costs a call seconds or the program its stack, and
// far above what a real calendar holds.
struct ICalTextBounds {
    // Real calendars nest four deep at most (a root of several calendars,
    // VCALENDAR, VEVENT or VTODO or VTIMEZONE, VALARM or STANDARD or
    // DAYLIGHT); 32 frames of libical's recursion are nothing to the stack.
    std::size_t nestingDepth = 32;
    // The largest file of ordinary events under the read limit holds about
    // 113,000 events with a rule each (680,000 properties); the program
    // takes about 590 MB reading it. Nearly twice as many components, half
    // as many properties again and a third more rules stay near that
    // memory, while a file made of nothing but one of them (1,000,000
    // components, 3,000,000 properties or 900,000 rules fit under the read
    // limit; the rules alone would take libical 2.8 GB) is refused.
    std::size_t components = 200'000;
    std::size_t properties = 1'000'000;
    std::size_t recurrenceRules = 150'000;
    // A file of meetings under the read limit holds about half a million.
    std::size_t parameters = 1'000'000;
    // What they may take together, estimated from each kind's size in
    // libical: about what that largest ordinary file takes (its estimate is
    // 545 MiB). One bound per kind alone would let a file that holds nearly
    // as many of each through, and that takes half as much again.
    std::size_t libicalMemoryBytes = std::size_t{640} * 1024 * 1024;
    // An attendee has about ten; libical's time grows with their square.
    std::size_t parametersPerProperty = 64;
    // A large attachment on one unfolded line with a few parameters stays
    // well under this; 64 parameters before a colon 15 MB away cost libical
    // a second.
    std::size_t parameterWork = 128 * 1024 * 1024;
    // Lines are folded at 75 bytes; a program that does not fold writes a
    // paragraph or an attachment on one line. A 1 MiB line costs libical
    // about 90 ms, a 16 MiB one 24 s.
    std::size_t rawLineBytes = 256 * 1024;
};

// Why a text of this shape is not given to libical, as a phrase for a line
// about the file ("its components nest 40 deep, more than 32"), or nothing
// when it is within the bounds.
std::optional<std::string> icalTextBoundExceeded(const ICalTextShape& shape, const ICalTextBounds& bounds = {});

}  // namespace lumenary::platform
