#include "platform/calendar/vdir_event_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>

#include "logging/logger.hpp"
#include "mcp/core/uuid.hpp"
#include "platform/calendar/ical_document.hpp"
#include "platform/calendar/ical_item_reader.hpp"
#include "platform/calendar/ical_item_writer.hpp"
#include "platform/calendar/ical_library_lock.hpp"
#include "platform/calendar/ical_text_probe.hpp"
#include "platform/calendar/local_wall_clock.hpp"
#include "platform/calendar/store_event_collector.hpp"
#include "platform/calendar/vdir_collection.hpp"
#include "platform/calendar/vdir_item_file.hpp"
#include "platform/defaults/data_location.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

constexpr int eventFolderMode = 0700;

StoreInstant now() {
    return std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
}

StoreCalendar calendarOf(const VdirCollection& collection) {
    return {.identifier = collection.name, .title = collection.title};
}

std::string folderRole(EventStoreEntity entity) {
    return entity == EventStoreEntity::events ? "calendar folder" : "reminder folder";
}

std::string collectionRole(EventStoreEntity entity) {
    return entity == EventStoreEntity::events ? "calendar" : "reminder list";
}

// What a user sets to move the folder, for messages about it.
std::string eventFolderSetting(EventStoreEntity entity) {
    return entity == EventStoreEntity::events
               ? "set LUMENARY_CALENDAR_DIR or the defaults key calendarDirectory"
               : "set LUMENARY_REMINDERS_DIR or the defaults key remindersDirectory";
}

// Writes a new item into `folder` under a fresh UID, its text made by
// `render` under the iCalendar library's lock; the UID.
template <typename Render>
PlatformOutcome<std::string> writeNewItem(const std::filesystem::path& folder, Render render) {
    const std::string uid = mcp::randomUUID();
    std::string text;
    {
        const ICalLibraryLock lock;
        text = render(uid);
    }
    if (auto written = writeNewVdirItemFile(folder, uid, text); !written) {
        return written.error();
    }
    return uid;
}

// Makes a folder the store owns (mode 0700), with its parents. An existing
// folder is fine.
std::error_code makeEventFolder(const std::filesystem::path& folder) {
    std::error_code error;
    if (folder.has_parent_path()) {
        std::filesystem::create_directories(folder.parent_path(), error);
        if (error) {
            return error;
        }
    }
    if (::mkdir(folder.c_str(), eventFolderMode) != 0 && !(errno == EEXIST && std::filesystem::is_directory(folder))) {
        return {errno, std::generic_category()};
    }
    return {};
}

void logSkippedItem(const std::string& line) {
    logging::Logger("lumenary.calendar").warning(line);
}

// The instant that bounds a reminder in a query: its completion date when
// completed ones are asked for, else its due date on the user's clock.
std::optional<StoreInstant> boundingInstant(const StoreReminder& reminder, bool completed) {
    if (completed) {
        return reminder.completionDate;
    }
    if (!reminder.due) {
        return std::nullopt;
    }
    const DueDateComponents& due = *reminder.due;
    return instantOfLocalWallClock({.year = due.year, .month = due.month, .day = due.day, .hour = due.hour, .minute = due.minute});
}

// Whether an item file is a calendar object that cannot hold `word`, so
// that parsing it is not needed; anything else is parsed, and reported when
// it cannot be.
bool cannotHold(const std::string& bytes, std::string_view word) {
    return icalTextMayMention(bytes, "VCALENDAR") && !icalTextMayMention(bytes, word);
}

// A parsed item file, under the ICalLibraryLock; `report` hears why it is
// not one, or which of its time zones were set aside.
template <typename Report>
std::optional<ICalDocument> parsedItem(const std::string& bytes, Report report) {
    auto parsed = ICalDocument::parse(bytes);
    if (!parsed) {
        report(parsed.error().description);
        return std::nullopt;
    }
    std::optional<ICalDocument> document(std::move(parsed).value());
    for (const std::string& tzid : document->unusableTimeZones()) {
        report("the time zone \"" + system::repairUTF8(tzid) +
               "\" changes too often to be read, so its times were read in the local zone");
    }
    return document;
}

std::string utcTimeText(StoreInstant instant) {
    const auto seconds = static_cast<std::time_t>(instant.time_since_epoch().count());
    std::tm fields{};
    ::gmtime_r(&seconds, &fields);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &fields);
    return text;
}

PlatformError tooManyOccurrences(std::size_t budget, StoreInstant start, StoreInstant end) {
    return PlatformError{"EventStore", 413,
                         "Too many events to read in this range: the calendars hold more than " +
                             std::to_string(budget) + " occurrences between " + utcTimeText(start) + " and " +
                             utcTimeText(end) + "; ask for a narrower range of dates"};
}

bool isSelected(const StoreReminder& reminder, const ReminderQuery& query) {
    if (reminder.isCompleted != query.completed) {
        return false;
    }
    if (!query.start && !query.end) {
        return true;
    }
    const auto instant = boundingInstant(reminder, query.completed);
    return instant && (!query.start || *instant >= *query.start) && (!query.end || *instant <= *query.end);
}

}  // namespace

VdirEventStore::VdirEventStore(VdirEventStoreSettings settings)
    : VdirEventStore(std::move(settings), processMayReadAndWrite, logSkippedItem) {}

VdirEventStore::VdirEventStore(VdirEventStoreSettings settings, FolderAccessCheck accessCheck, SkipReport skipReport)
    : settings_(std::move(settings)), accessCheck_(std::move(accessCheck)), skipReport_(std::move(skipReport)) {}

bool VdirEventStore::processMayReadAndWrite(const std::filesystem::path& folder) {
    return ::faccessat(AT_FDCWD, folder.c_str(), R_OK | W_OK | X_OK, AT_EACCESS) == 0;
}

const std::filesystem::path& VdirEventStore::folderOf(EventStoreEntity entity) const {
    return entity == EventStoreEntity::events ? settings_.calendarFolder : settings_.reminderFolder;
}

EventStoreAccess VdirEventStore::access(EventStoreEntity entity) const {
    const std::filesystem::path& folder = folderOf(entity);
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) {
        return errno == ENOENT ? EventStoreAccess::notDetermined : EventStoreAccess::denied;
    }
    if (!S_ISDIR(status.st_mode) || !accessCheck_(folder)) {
        return EventStoreAccess::denied;
    }
    return EventStoreAccess::fullAccess;
}

std::string VdirEventStore::locationDescription(EventStoreEntity entity) const {
    return folderOf(entity).string();
}

PlatformOutcome<bool> VdirEventStore::requestFullAccess(EventStoreEntity entity) {
    if (access(entity) == EventStoreAccess::notDetermined) {
        if (const std::error_code error = makeEventFolder(folderOf(entity))) {
            return PlatformError{"EventStore", 500,
                                 "Cannot create the " + folderRole(entity) + " " + folderOf(entity).string() + ": " +
                                     error.message() + "; " + eventFolderSetting(entity) +
                                     " to a folder that can be made"};
        }
    }
    return access(entity) == EventStoreAccess::fullAccess;
}

PlatformOutcome<std::vector<VdirCollection>> VdirEventStore::collections(EventStoreEntity entity) const {
    auto listed = vdirCollections(folderOf(entity));
    if (!listed) {
        return PlatformError{listed.error().domain, listed.error().code,
                             "The " + folderRole(entity) + " cannot be read: " + listed.error().description + "; " +
                                 eventFolderSetting(entity) + " to a folder"};
    }
    return listed;
}

PlatformOutcome<std::vector<StoreCalendar>> VdirEventStore::calendars(EventStoreEntity entity) {
    auto found = collections(entity);
    if (!found) {
        return found.error();
    }
    std::vector<StoreCalendar> calendars;
    for (const VdirCollection& collection : found.value()) {
        calendars.push_back(calendarOf(collection));
    }
    return calendars;
}

void VdirEventStore::reportSkipped(const std::filesystem::path& path, const std::string& why) const {
    skipReport_("Skipped " + system::repairUTF8(path.string()) + ": " + why);
}

void VdirEventStore::forEachItemFile(
    const std::vector<VdirCollection>& collections,
    const std::function<bool(const VdirCollection&, const std::filesystem::path&, const std::string&)>& visit) const {
    for (const VdirCollection& collection : collections) {
        auto files = vdirItemFiles(collection.folder);
        if (!files) {
            reportSkipped(collection.folder, files.error().description);
            continue;
        }
        for (const std::filesystem::path& file : files.value()) {
            auto bytes = readVdirItemFile(file);
            if (!bytes) {
                reportSkipped(file, bytes.error().description);
                continue;
            }
            if (!visit(collection, file, bytes.value())) {
                return;
            }
        }
    }
}

PlatformOutcome<std::vector<StoreEvent>> VdirEventStore::events(StoreInstant start, StoreInstant end) {
    return readEvents(start, end, std::nullopt);
}

PlatformOutcome<std::vector<StoreEvent>> VdirEventStore::earliestEvents(StoreInstant start, StoreInstant end,
                                                                        std::size_t count) {
    return readEvents(start, end, count);
}

PlatformOutcome<std::vector<StoreEvent>> VdirEventStore::readEvents(StoreInstant start, StoreInstant end,
                                                                    std::optional<std::size_t> earliest) {
    refreshLocalTimeZone();
    auto found = collections(EventStoreEntity::events);
    if (!found) {
        return found.error();
    }
    if (start >= end || earliest == std::size_t{0}) {
        return std::vector<StoreEvent>();
    }
    StoreEventCollector collector(settings_.maximumOccurrences, earliest);
    forEachItemFile(found.value(), [&](const VdirCollection& collection, const std::filesystem::path& file,
                                       const std::string& bytes) {
        // Lists of reminders may share the folders; their files are not parsed.
        if (cannotHold(bytes, "VEVENT")) {
            return true;
        }
        const ICalLibraryLock lock;
        const auto document = parsedItem(bytes, [&](const std::string& why) { reportSkipped(file, why); });
        if (!document) {
            return true;
        }
        ICalItemReader reader(*document, file.stem().string());
        reader.collectEventsOverlapping(start, end, calendarOf(collection), collector);
        for (const std::string& problem : reader.problems()) {
            reportSkipped(file, problem);
        }
        return !collector.isSpent();
    });
    if (collector.isSpent()) {
        return tooManyOccurrences(settings_.maximumOccurrences, start, end);
    }
    return std::move(collector).take();
}

PlatformOutcome<std::optional<StoreEvent>> VdirEventStore::event(const std::string& identifier) {
    refreshLocalTimeZone();
    auto found = collections(EventStoreEntity::events);
    if (!found) {
        return found.error();
    }
    std::optional<StoreEvent> event;
    forEachItemFile(found.value(), [&](const VdirCollection& collection, const std::filesystem::path& file,
                                       const std::string& bytes) {
        if (cannotHold(bytes, "VEVENT")) {
            return true;
        }
        const ICalLibraryLock lock;
        const auto document = parsedItem(bytes, [&](const std::string& why) { reportSkipped(file, why); });
        if (!document) {
            return true;
        }
        event = ICalItemReader(*document, file.stem().string()).event(identifier);
        if (event) {
            event->calendar = calendarOf(collection);
            event->itemFile = file.string();
        }
        return !event;
    });
    return event;
}

PlatformOutcome<VdirCollection> VdirEventStore::collectionForNewItem(
    EventStoreEntity entity, const std::optional<std::string>& identifier) const {
    auto found = collections(entity);
    if (!found) {
        return found.error();
    }
    std::vector<VdirCollection>& candidates = found.value();
    if (identifier) {
        // Only a listed collection is written to: the identifier is never
        // made into a path.
        const auto named = std::find_if(candidates.begin(), candidates.end(),
                                        [&](const VdirCollection& collection) { return collection.name == *identifier; });
        if (named == candidates.end()) {
            return PlatformError{"EventStore", 404,
                                 "There is no " + collectionRole(entity) + " \"" + *identifier + "\" in " +
                                     folderOf(entity).string()};
        }
        return *named;
    }
    const auto& defaultTitle =
        entity == EventStoreEntity::events ? settings_.defaultCalendarTitle : settings_.defaultReminderListTitle;
    if (defaultTitle) {
        const auto titled = std::find_if(candidates.begin(), candidates.end(),
                                         [&](const VdirCollection& collection) { return collection.title == *defaultTitle; });
        if (titled != candidates.end()) {
            return *titled;
        }
    }
    if (!candidates.empty()) {
        return candidates.front();
    }
    const std::string name = entity == EventStoreEntity::events ? "Calendar" : "Reminders";
    const std::filesystem::path folder = folderOf(entity) / name;
    if (const std::error_code error = makeEventFolder(folder)) {
        return PlatformError{"EventStore", 500,
                             "Cannot create the " + collectionRole(entity) + " folder " + folder.string() + ": " +
                                 error.message() + "; " + eventFolderSetting(entity) +
                                 " to a folder that can be written"};
    }
    return VdirCollection{.folder = folder, .name = name, .title = name};
}

PlatformOutcome<StoreEvent> VdirEventStore::saveEvent(const NewStoreEvent& event) {
    refreshLocalTimeZone();
    if (event.end < event.start) {
        return PlatformError{"EventStore", 400, "An event cannot end before it starts"};
    }
    auto collection = collectionForNewItem(EventStoreEntity::events, event.calendarIdentifier);
    if (!collection) {
        return collection.error();
    }
    const auto uid = writeNewItem(collection.value().folder, [&](const std::string& itemUID) {
        return icalTextOfNewEvent(itemUID, event, now());
    });
    if (!uid) {
        return uid.error();
    }
    StoreEvent saved{.identifier = uid.value(),
                     .title = event.title,
                     .location = event.location,
                     .notes = event.notes,
                     .url = std::nullopt,
                     .start = event.start,
                     .end = event.end,
                     .isAllDay = event.isAllDay,
                     .calendar = calendarOf(collection.value())};
    if (event.isAllDay) {
        const AllDaySpan span = allDaySpanOf(event.start, event.end);
        saved.start = instantOfLocalWallClock(span.firstDay);
        saved.end = instantOfLocalWallClock(span.dayAfterLastDay);
    }
    return saved;
}

PlatformOutcome<std::vector<StoreReminder>> VdirEventStore::reminders(const ReminderQuery& query) {
    refreshLocalTimeZone();
    auto found = collections(EventStoreEntity::reminders);
    if (!found) {
        return found.error();
    }
    std::vector<VdirCollection>& lists = found.value();
    if (query.listIdentifiers) {
        std::erase_if(lists, [&](const VdirCollection& list) {
            return std::find(query.listIdentifiers->begin(), query.listIdentifiers->end(), list.name) ==
                   query.listIdentifiers->end();
        });
    }
    std::vector<StoreReminder> reminders;
    forEachItemFile(lists, [&](const VdirCollection& list, const std::filesystem::path& file, const std::string& bytes) {
        // A completed reminder says so in a STATUS or a COMPLETED property;
        // most files hold open ones, and are not parsed for completed ones.
        if (cannotHold(bytes, "VTODO") || (query.completed && cannotHold(bytes, "COMPLETED"))) {
            return true;
        }
        const ICalLibraryLock lock;
        const auto document = parsedItem(bytes, [&](const std::string& why) { reportSkipped(file, why); });
        if (!document) {
            return true;
        }
        for (StoreReminder& reminder : ICalItemReader(*document, file.stem().string()).reminders()) {
            if (isSelected(reminder, query)) {
                reminder.list = calendarOf(list);
                reminders.push_back(std::move(reminder));
            }
        }
        return true;
    });
    return reminders;
}

PlatformOutcome<StoreReminder> VdirEventStore::saveReminder(const NewStoreReminder& reminder) {
    refreshLocalTimeZone();
    // Other programs reading the folder reject anything outside RFC 5545's
    // 0 to 9.
    if (reminder.priority < 0 || reminder.priority > 9) {
        return PlatformError{"EventStore", 400, "A priority must be between 0 and 9"};
    }
    auto list = collectionForNewItem(EventStoreEntity::reminders, reminder.listIdentifier);
    if (!list) {
        return list.error();
    }
    const auto uid = writeNewItem(list.value().folder, [&](const std::string& itemUID) {
        return icalTextOfNewReminder(itemUID, reminder, now());
    });
    if (!uid) {
        return uid.error();
    }
    return StoreReminder{.identifier = uid.value(),
                         .title = reminder.title,
                         .notes = reminder.notes,
                         .isCompleted = false,
                         .completionDate = std::nullopt,
                         .due = reminder.due,
                         .priority = reminder.priority,
                         .list = calendarOf(list.value())};
}

std::shared_ptr<EventStore> makeVdirEventStore(const DefaultsStore& defaults) {
    VdirEventStoreSettings settings;
    settings.calendarFolder = dataLocation("LUMENARY_CALENDAR_DIR", "calendarDirectory", defaults, "calendars");
    settings.reminderFolder = configuredDataLocation("LUMENARY_REMINDERS_DIR", "remindersDirectory", defaults)
                                  .value_or(settings.calendarFolder);
    const auto text = [&](std::string_view key) -> std::optional<std::string> {
        const auto value = defaults.object(key);
        if (!value || value->stringValue() == nullptr || value->stringValue()->empty()) {
            return std::nullopt;
        }
        return *value->stringValue();
    };
    settings.defaultCalendarTitle = text("defaultCalendar");
    settings.defaultReminderListTitle = text("defaultReminderList");
    return std::make_shared<VdirEventStore>(std::move(settings));
}

}  // namespace lumenary::platform
