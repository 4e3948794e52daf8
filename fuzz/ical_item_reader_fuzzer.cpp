// The event store's reading of one item file: measured, parsed by libical
// when within its bounds, then its events over a window, its earliest few
// over a year as get_events asks for them, one event by its UID, and its
// reminders. Every text that comes out is UTF-8, libical never builds a
// tree deeper or larger than the measure said, and no time zone or rule of
// the item hangs the reading (scripts/fuzz gives each input one second).
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_check.hpp"
#include "platform/calendar/ical_document.hpp"
#include "platform/calendar/ical_item_reader.hpp"
#include "platform/calendar/ical_library_lock.hpp"
#include "platform/calendar/ical_text_shape.hpp"
#include "platform/calendar/store_event_collector.hpp"
#include "system/utf8.hpp"

using namespace lumenary::platform;
using lumenary::system::isValidUTF8;

namespace {

void checkText(const std::optional<std::string>& text) {
    if (text) LUMENARY_FUZZ_CHECK(isValidUTF8(*text));
}

void checkEvent(const StoreEvent& event) {
    LUMENARY_FUZZ_CHECK(isValidUTF8(event.identifier));
    LUMENARY_FUZZ_CHECK(isValidUTF8(event.title));
    checkText(event.location);
    checkText(event.notes);
    checkText(event.url);
}

struct TreeSize {
    std::size_t depth = 0;
    std::size_t components = 0;
    std::size_t properties = 0;
    std::size_t parameters = 0;
    // Properties libical adds to describe what it could not read, each with
    // one parameter naming the kind of fault.
    std::size_t faults = 0;
};

// Walked with a stack of its own: the tree is only as deep as the measure
// allowed, but the check is that it is.
TreeSize treeSizeOf(icalcomponent* root) {
    TreeSize size;
    std::vector<std::pair<icalcomponent*, std::size_t>> pending{{root, 1}};
    while (!pending.empty()) {
        const auto [component, depth] = pending.back();
        pending.pop_back();
        ++size.components;
        size.depth = std::max(size.depth, depth);
        for (icalproperty* property = icalcomponent_get_first_property(component, ICAL_ANY_PROPERTY);
             property != nullptr; property = icalcomponent_get_next_property(component, ICAL_ANY_PROPERTY)) {
            ++size.properties;
            if (icalproperty_isa(property) == ICAL_XLICERROR_PROPERTY) ++size.faults;
            size.parameters += static_cast<std::size_t>(icalproperty_count_parameters(property));
        }
        for (icalcomponent* child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT); child != nullptr;
             child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT)) {
            pending.emplace_back(child, depth + 1);
        }
    }
    return size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const ICalLibraryLock lock;
    const ICalTextShape shape = icalTextShapeOf(text);
    auto parsed = ICalDocument::parse(text);
    if (!parsed) return 0;
    LUMENARY_FUZZ_CHECK(!icalTextBoundExceeded(shape));
    const ICalDocument document = std::move(parsed).value();
    // The same text within its bounds, parsed again to see the tree.
    icalcomponent* root = icalparser_parse_string(text.c_str());
    const TreeSize tree = treeSizeOf(root);
    icalcomponent_free(root);
    LUMENARY_FUZZ_CHECK(tree.depth <= shape.nestingDepth);
    // One more for the root libical makes to gather several calendars.
    LUMENARY_FUZZ_CHECK(tree.components <= shape.components + 1);
    // A line of several values is several properties to libical, each with
    // all of the line's parameters.
    LUMENARY_FUZZ_CHECK(tree.properties <= shape.properties);
    LUMENARY_FUZZ_CHECK(tree.parameters <= shape.parameters + tree.faults);
    ICalItemReader reader(document, "item");
    // A month around the seeds' dates: wide enough to meet their events.
    const StoreInstant start = std::chrono::sys_days{std::chrono::year{2024} / 1 / 1};
    const StoreInstant end = start + std::chrono::days{31};
    std::optional<std::string> firstIdentifier;
    StoreEventCollector collector(10'000, std::nullopt);
    reader.collectEventsOverlapping(start, end, {}, collector);
    for (const StoreEvent& event : std::move(collector).take()) {
        checkEvent(event);
        LUMENARY_FUZZ_CHECK(event.start < end);
        if (!firstIdentifier) firstIdentifier = event.identifier;
    }
    // get_events: the earliest ten over a year.
    StoreEventCollector earliest(100'000, 10);
    reader.collectEventsOverlapping(start, start + std::chrono::days{366}, {}, earliest);
    const auto kept = std::move(earliest).take();
    LUMENARY_FUZZ_CHECK(kept.size() <= 10);
    for (const StoreEvent& event : kept) checkEvent(event);
    if (const auto event = reader.event(firstIdentifier.value_or("item"))) checkEvent(*event);
    for (const StoreReminder& reminder : reader.reminders()) {
        LUMENARY_FUZZ_CHECK(isValidUTF8(reminder.identifier));
        checkText(reminder.title);
        checkText(reminder.notes);
    }
    return 0;
}
