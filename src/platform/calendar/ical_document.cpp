#include "platform/calendar/ical_document.hpp"

#include <cstdlib>

#include "platform/calendar/ical_time_zone_bound.hpp"

namespace lumenary::platform {

namespace {

void collect(icalcomponent* component, icalcomponent_kind kind, std::vector<icalcomponent*>& found) {
    if (icalcomponent_isa(component) == kind) {
        found.push_back(component);
        return;
    }
    // Items sit in a VCALENDAR, and several VCALENDARs in one file come
    // back wrapped in one more root; nothing nests deeper.
    for (icalcomponent* child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT); child != nullptr;
         child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT)) {
        const icalcomponent_kind childKind = icalcomponent_isa(child);
        if (childKind == kind) {
            found.push_back(child);
        } else if (childKind == ICAL_VCALENDAR_COMPONENT) {
            collect(child, kind, found);
        }
    }
}

}  // namespace

std::optional<ICalDocument> ICalDocument::parse(const std::string& text) {
    icalcomponent* root = icalparser_parse_string(text.c_str());
    if (root == nullptr) {
        return std::nullopt;
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
