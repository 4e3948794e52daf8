// The event store's reading of one item file: parsed by libical, then its
// events over a window, one event by its UID, and its reminders. Every text
// that comes out is UTF-8, and no time zone of the item hangs the reading.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "fuzz_check.hpp"
#include "platform/calendar/ical_document.hpp"
#include "platform/calendar/ical_item_reader.hpp"
#include "platform/calendar/ical_library_lock.hpp"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const ICalLibraryLock lock;
    const auto document = ICalDocument::parse(text);
    if (!document) return 0;
    ICalItemReader reader(*document, "item");
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
    if (const auto event = reader.event(firstIdentifier.value_or("item"))) checkEvent(*event);
    for (const StoreReminder& reminder : reader.reminders()) {
        LUMENARY_FUZZ_CHECK(isValidUTF8(reminder.identifier));
        checkText(reminder.title);
        checkText(reminder.notes);
    }
    return 0;
}
