#include "platform/calendar/ical_document.hpp"

#include <cstdlib>

#include "platform/calendar/ical_text_shape.hpp"
#include "platform/calendar/ical_time_zone_bound.hpp"

namespace lumenary::platform {

namespace {

// Items sit in a VCALENDAR, and several VCALENDARs in one file come back
// wrapped in one more root; a VCALENDAR inside another is looked into too.
// Depth-first in document order, without recursion.
void collect(icalcomponent* root, icalcomponent_kind kind, std::vector<icalcomponent*>& found) {
    std::vector<icalcomponent*> pending{root};
    std::vector<icalcomponent*> children;
    while (!pending.empty()) {
        icalcomponent* component = pending.back();
        pending.pop_back();
        if (icalcomponent_isa(component) == kind) {
            found.push_back(component);
            continue;
        }
        if (component != root && icalcomponent_isa(component) != ICAL_VCALENDAR_COMPONENT) {
            continue;
        }
        children.clear();
        for (icalcomponent* child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT); child != nullptr;
             child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT)) {
            children.push_back(child);
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
}

}  // namespace

PlatformOutcome<ICalDocument> ICalDocument::parse(const std::string& text) {
    if (auto exceeded = icalTextBoundExceeded(icalTextShapeOf(text))) {
        return PlatformError{"EventStore", 422, std::move(*exceeded)};
    }
    icalcomponent* root = icalparser_parse_string(text.c_str());
    if (root == nullptr) {
        return PlatformError{"EventStore", 422, "not a complete iCalendar object"};
    }
    ICalDocument document(root);
    document.unusableTimeZones_ = floatTimesOfUnusableTimeZones(root);
    return document;
}

ICalDocument::ICalDocument(icalcomponent* root) : root_(root) {}

std::vector<icalcomponent*> ICalDocument::components(icalcomponent_kind kind) const {
    std::vector<icalcomponent*> found;
    collect(root_.get(), kind, found);
    return found;
}

std::string ICalDocument::text() const {
    char* text = icalcomponent_as_ical_string_r(root_.get());
    std::string result = text == nullptr ? std::string() : std::string(text);
    icalmemory_free_buffer(text);
    return result;
}

std::vector<icalproperty*> icalProperties(icalcomponent* component, icalproperty_kind kind) {
    // A component has one property cursor; collecting first keeps a loop
    // over one kind from being reset by a look-up of another.
    std::vector<icalproperty*> properties;
    for (icalproperty* property = icalcomponent_get_first_property(component, kind); property != nullptr;
         property = icalcomponent_get_next_property(component, kind)) {
        properties.push_back(property);
    }
    return properties;
}

}  // namespace lumenary::platform
