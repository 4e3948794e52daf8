#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <libical/ical.h>

#include "platform/calendar/ical_library_lock.hpp"
#include "platform/calendar/ical_text_shape.hpp"

namespace lumenary::platform {
namespace {

// How deep the tree libical builds from `text` is, the root at 1.
std::size_t libicalDepth(const std::string& text) {
    const ICalLibraryLock lock;
    icalcomponent* root = icalparser_parse_string(text.c_str());
    std::size_t deepest = 0;
    std::vector<std::pair<icalcomponent*, std::size_t>> pending;
    if (root != nullptr) {
        pending.emplace_back(root, 1);
    }
    while (!pending.empty()) {
        const auto [component, depth] = pending.back();
        pending.pop_back();
        deepest = std::max(deepest, depth);
        for (icalcomponent* child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT); child != nullptr;
             child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT)) {
            pending.emplace_back(child, depth + 1);
        }
    }
    icalcomponent_free(root);
    return deepest;
}

struct LibicalCounts {
    std::size_t properties = 0;
    std::size_t parameters = 0;
};

// The properties and parameters of every component libical builds from
// `text`.
LibicalCounts libicalCounts(const std::string& text) {
    const ICalLibraryLock lock;
    icalcomponent* root = icalparser_parse_string(text.c_str());
    LibicalCounts counts;
    std::vector<icalcomponent*> pending;
    if (root != nullptr) {
        pending.push_back(root);
    }
    while (!pending.empty()) {
        icalcomponent* component = pending.back();
        pending.pop_back();
        for (icalproperty* property = icalcomponent_get_first_property(component, ICAL_ANY_PROPERTY);
             property != nullptr; property = icalcomponent_get_next_property(component, ICAL_ANY_PROPERTY)) {
            ++counts.properties;
            counts.parameters += static_cast<std::size_t>(icalproperty_count_parameters(property));
        }
        for (icalcomponent* child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT); child != nullptr;
             child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT)) {
            pending.push_back(child);
        }
    }
    icalcomponent_free(root);
    return counts;
}

std::string nested(std::size_t depth) {
    std::string text;
    for (std::size_t level = 0; level < depth; ++level) text += "BEGIN:X\r\n";
    for (std::size_t level = 0; level < depth; ++level) text += "END:X\r\n";
    return text;
}

std::string copiesOf(const std::string& text, int count) {
    std::string result;
    for (int index = 0; index < count; ++index) result += text;
    return result;
}

std::string calendar(const std::string& inside) {
    return "BEGIN:VCALENDAR\r\n" + inside + "END:VCALENDAR\r\n";
}

TEST(ICalTextShape, FindsComponentsWhereLibicalDoes) {
    struct Case {
        const char* name;
        std::string text;
        std::size_t depth;
        std::size_t components;
    };
    const std::vector<Case> cases = {
        {"event with an alarm", calendar("BEGIN:VEVENT\r\nBEGIN:VALARM\r\nEND:VALARM\r\nEND:VEVENT\r\n"), 3, 3},
        {"two calendars under one root", calendar("") + calendar(""), 2, 2},
        {"any letter case, space before the colon", "begin :vcalendar\r\nBegin:X\r\nend:X\r\nEND :VCALENDAR\r\n", 2, 2},
        {"folded names", calendar("BEG\r\n IN:X\r\nEN\r\n\tD:X\r\n"), 2, 2},
        {"byte order mark", "\xEF\xBB\xBF" + calendar("BEGIN:X\r\nEND:X\r\n"), 2, 2},
        {"line feeds alone", "BEGIN:VCALENDAR\nBEGIN:X\nEND:X\nEND:VCALENDAR\n", 2, 2},
        {"carriage returns alone", "BEGIN:VCALENDAR\rBEGIN:X\rEND:X\rEND:VCALENDAR\r", 2, 2},
        {"a carriage return line cut after 78 bytes",
         "BEGIN:VCALENDAR\rX:" + std::string(77, 'a') + "BEGIN:Y\rEND:Y\rEND:VCALENDAR\r", 2, 2},
        {"carriage returns after the last line feed", "BEGIN:VCALENDAR\r\nBEGIN:X\rEND:X\rEND:VCALENDAR", 2, 2},
        {"a carriage return inside a line", calendar("X:a\rBEGIN:Y\r\n"), 1, 1},
        {"a space after an empty line is no fold", calendar("\n BEGIN:X\r\nEND:X\r\n"), 1, 1},
        {"a quoted colon is no end of a name", calendar("BEGIN\":\":X\r\nEND:X\r\n"), 1, 1},
        {"nothing after a NUL", calendar("") + '\0' + "BEGIN:X\r\nEND:X\r\n", 1, 1},
        {"an END too many", "END:X\r\n" + calendar("END:X\r\nBEGIN:X\r\nEND:X\r\n"), 2, 2},
        {"three hundred deep", calendar(nested(299)), 300, 300},
    };
    for (const Case& c : cases) {
        const ICalTextShape shape = icalTextShapeOf(c.text);
        EXPECT_EQ(shape.nestingDepth, c.depth) << c.name;
        EXPECT_EQ(shape.components, c.components) << c.name;
        EXPECT_EQ(libicalDepth(c.text), c.depth) << c.name << ": libical's own tree";
    }
}

TEST(ICalTextShape, CountsPropertiesRulesAndParametersInsideComponents) {
    struct Case {
        const char* name;
        std::string lines;
        std::size_t properties;
        std::size_t rules;
        std::size_t parameters;
    };
    const std::vector<Case> cases = {
        {"rules, two on one line", "UID:a\r\nRRULE:FREQ=DAILY\r\nexrule:FREQ=WEEKLY,FREQ=DAILY;BYDAY=MO,TU\r\n", 4, 3, 0},
        {"parameters up to the value's colon", "DTSTART;TZID=Europe/Berlin:20240101T090000\r\n", 2, 0, 1},
        {"quoted separators", "X-A;A=1;B=\"x;y:z\";C=2:v;w\r\n", 4, 0, 3},
        {"an escaped separator", "X-A;B=a\\;b:c\r\n", 2, 0, 1},
        {"a folded parameter", "ATTENDEE;CN=Ann;\r\n ROLE=CHAIR:mailto:a@example.com\r\n", 3, 0, 2},
        {"a line without a name is described", "nonsense\r\n", 1, 0, 0},
    };
    for (const Case& c : cases) {
        const ICalTextShape shape = icalTextShapeOf("UID:outside\r\nBEGIN:VEVENT\r\n" + c.lines + "END:VEVENT\r\n");
        EXPECT_EQ(shape.properties, c.properties) << c.name;
        EXPECT_EQ(shape.recurrenceRules, c.rules) << c.name;
        EXPECT_EQ(shape.parameters, c.parameters) << c.name;
        EXPECT_EQ(shape.mostParametersOnAProperty, c.parameters) << c.name;
    }
}

std::string values(const std::string& value, std::size_t count) {
    std::string result = value;
    for (std::size_t index = 1; index < count; ++index) result += "," + value;
    return result;
}

// The scan never counts fewer than libical builds: where the two differ,
// it is a comma libical happens not to cut at.
TEST(ICalTextShape, CountsAPropertyForEachValueLibicalCutsALineInto) {
    struct Case {
        const char* name;
        std::string lines;
        std::size_t properties;
        std::size_t parameters;
        std::size_t libicalProperties;
        std::size_t libicalParameters;
    };
    const std::vector<Case> cases = {
        {"categories", "CATEGORIES:a,b,c\r\n", 3, 0, 3, 0},
        {"any letter case, space before the colon", "categories :a,b,c\r\n", 3, 0, 3, 0},
        {"resources", "RESOURCES:a,b\r\n", 2, 0, 2, 0},
        {"dates to leave out", "EXDATE:20240101T090000Z,20240102T090000Z,20240103T090000Z\r\n", 3, 0, 3, 0},
        {"dates to add", "RDATE;TZID=Europe/Berlin:20240101T090000,20240102T090000\r\n", 3, 2, 2, 2},
        {"busy periods", "FREEBUSY;FBTYPE=BUSY:20240101T090000Z/PT1H,20240102T090000Z/PT1H\r\n", 3, 2, 2, 2},
        {"other properties keep their commas", "SUMMARY:a,b,c\r\nX-A:a,b,c\r\nCOMMENT:a,b\r\n", 3, 0, 3, 0},
        {"parameters on every value", "CATEGORIES;LANGUAGE=en;X-A=1:a,b,c\r\n", 5, 6, 3, 6},
        {"an escaped comma", "CATEGORIES:a\\,b\r\n", 1, 0, 1, 0},
        {"a comma three bytes after a backslash", "CATEGORIES:a\\nb,c,d\r\n", 2, 0, 2, 0},
        {"a quote after a comma opens nothing", "CATEGORIES:a,\"b,c\r\n", 3, 0, 3, 0},
        {"a whole quoted value", "CATEGORIES:\"a,b,c\"\r\n", 3, 0, 1, 0},
        {"empty values", "CATEGORIES:a,,b\r\n", 3, 0, 2, 0},
        {"a failed parameter leaves its commas to the values", "CATEGORIES;BAD;X-A=1,2,3:a\r\n", 5, 6, 4, 1},
        {"a folded list", "CATEGORIES:a,b,\r\n c,d\r\n", 4, 0, 4, 0},
        {"five hundred values at most", "CATEGORIES;X-A=1:" + values("a", 600) + "\r\n", 501, 500, 500, 500},
    };
    for (const Case& c : cases) {
        const std::string text = calendar("BEGIN:VEVENT\r\n" + c.lines + "END:VEVENT\r\n");
        const ICalTextShape shape = icalTextShapeOf(text);
        EXPECT_EQ(shape.properties, c.properties) << c.name;
        EXPECT_EQ(shape.parameters, c.parameters) << c.name;
        const LibicalCounts counts = libicalCounts(text);
        EXPECT_EQ(counts.properties, c.libicalProperties) << c.name << ": libical's own tree";
        EXPECT_EQ(counts.parameters, c.libicalParameters) << c.name << ": libical's own tree";
    }
}

TEST(ICalTextBounds, NamesTheFirstBoundATextExceeds) {
    std::string parameters = "X-A";
    for (int index = 0; index < 65; ++index) parameters += ";P=1";
    struct Case {
        const char* name;
        std::string text;
        ICalTextBounds bounds;
        std::string why;
    };
    const std::vector<Case> cases = {
        {"an ordinary calendar", calendar("BEGIN:VEVENT\r\nUID:a\r\nDTSTART;TZID=Europe/Berlin:20240101T090000\r\n"
                                          "RRULE:FREQ=WEEKLY\r\nEND:VEVENT\r\n"),
         {}, ""},
        {"nesting", calendar(nested(299)), {}, "its components nest too deep (300, more than 32)"},
        {"parameters on one property", calendar("BEGIN:VEVENT\r\n" + parameters + ":v\r\nEND:VEVENT\r\n"), {},
         "a property has too many parameters (65, more than 64)"},
        {"a long line", calendar("X:" + std::string(256 * 1024, 'a') + "\r\n"), {},
         "a line is too long (262148, more than 262144)"},
        {"a long tail of carriage returns", "BEGIN:VCALENDAR\r\n" + std::string(256 * 1024 + 1, '\r'), {},
         "a line is too long (262145, more than 262144)"},
        {"components", calendar(nested(1) + nested(1)), {.components = 2}, "it holds too many components (3, more than 2)"},
        {"properties", calendar("BEGIN:X\r\nA:1\r\nB:2\r\nEND:X\r\n"), {.properties = 1},
         "it holds too many properties (2, more than 1)"},
        {"values", calendar("BEGIN:X\r\nCATEGORIES:a,b\r\nEND:X\r\n"), {.properties = 1},
         "it holds too many properties (2, more than 1)"},
        {"rules", calendar("BEGIN:X\r\nRRULE:FREQ=DAILY\r\nRRULE:FREQ=DAILY\r\nEND:X\r\n"), {.recurrenceRules = 1},
         "it holds too many recurrence rules (2, more than 1)"},
        {"parameters", calendar("BEGIN:X\r\nA;B=1:1\r\nA;B=1:2\r\nEND:X\r\n"), {.parameters = 1},
         "it holds too many parameters (2, more than 1)"},
        {"all of them together", calendar(copiesOf("BEGIN:X\r\nRRULE:FREQ=DAILY\r\nX;A=1:a\r\nEND:X\r\n", 1000)),
         {.libicalMemoryBytes = 3 * 1024 * 1024}, "it would take libical too much memory (4 MiB, more than 3 MiB)"},
        {"parameters before a distant colon", calendar("BEGIN:X\r\nA;B=1;C=2" + std::string(100, 'x') + ":1\r\nEND:X\r\n"),
         {.parameterWork = 200}, "a property has too many parameters for the length of its line (222, more than 200)"},
    };
    for (const Case& c : cases) {
        const auto exceeded = icalTextBoundExceeded(icalTextShapeOf(c.text), c.bounds);
        EXPECT_EQ(exceeded.value_or(""), c.why) << c.name;
    }
}

}  // namespace
}  // namespace lumenary::platform
