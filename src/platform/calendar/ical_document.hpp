#pragma once

#include <memory>
#include <string>
#include <vector>

#include <libical/ical.h>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// One parsed iCalendar text, freed with the object. Made, used and
// destroyed under the ICalLibraryLock.
class ICalDocument {
public:
    // An error when the text holds no complete iCalendar object (a
    // half-written file included) or is beyond the ICalTextBounds, which
    // libical is never given. Time zones libical cannot expand within its
    // bound are set aside at once, their times left floating.
    static PlatformOutcome<ICalDocument> parse(const std::string& text);
    // Takes a component made in memory.
    explicit ICalDocument(icalcomponent* root);

    // Every component of this kind (VEVENT, VTODO) in document order,
    // whether in a VCALENDAR or standing on its own.
    std::vector<icalcomponent*> components(icalcomponent_kind kind) const;

    // The iCalendar text, lines folded and values escaped.
    std::string text() const;

    // The TZIDs of the item's own time zones that parse set aside.
    const std::vector<std::string>& unusableTimeZones() const { return unusableTimeZones_; }

private:
    struct Free {
        void operator()(icalcomponent* component) const { icalcomponent_free(component); }
    };
    std::unique_ptr<icalcomponent, Free> root_;
    std::vector<std::string> unusableTimeZones_;
};

// Every property of this kind, in component order.
std::vector<icalproperty*> icalProperties(icalcomponent* component, icalproperty_kind kind);

}  // namespace lumenary::platform
