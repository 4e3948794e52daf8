#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/calendar/event_store.hpp"
#include "platform/defaults/defaults_store.hpp"

namespace lumenary::platform {

struct VdirCollection;

// Where the vdir store keeps its items and where new ones go.
struct VdirEventStoreSettings {
    // Each sub-folder is one calendar of events.
    std::filesystem::path calendarFolder;
    // Each sub-folder is one reminder list; may be the calendar folder, when
    // each sub-folder is both.
    std::filesystem::path reminderFolder;
    // Titles of the collections that take new events and new reminders.
    std::optional<std::string> defaultCalendarTitle;
    std::optional<std::string> defaultReminderListTitle;
    // How many occurrences one read of events may hold: what bounds its
    // time and memory when a calendar repeats thousands of events daily. A
    // range that holds more is refused.
    std::size_t maximumOccurrences = 100'000;
};

// The user's calendars and reminders as iCalendar files in vdir folders (one
// `.ics` file per item, one folder per calendar or list), the layout that
// calendar and task programs and synchronisers share. Read and written with
// libical; nothing is cached, every call reads the folders afresh. Safe to
// call from several threads: libical use is serialised (ICalLibraryLock),
// and new files never replace one another.
class VdirEventStore final : public EventStore {
public:
    // Whether this process may read and write a folder. Permission bits are
    // the only refusal on Linux, and they refuse nothing to root, so tests
    // put their own check here.
    using FolderAccessCheck = std::function<bool(const std::filesystem::path& folder)>;
    // Takes one line about an item or folder that was skipped.
    using SkipReport = std::function<void(const std::string& line)>;

    explicit VdirEventStore(VdirEventStoreSettings settings);
    VdirEventStore(VdirEventStoreSettings settings, FolderAccessCheck accessCheck, SkipReport skipReport);

    // Absent folder: not determined. A folder readable and writable: full
    // access. Anything else (a file in its place, no permission): denied.
    EventStoreAccess access(EventStoreEntity entity) const override;
    std::string locationDescription(EventStoreEntity entity) const override;
    // Makes an absent folder (mode 0700) and answers whether full access
    // holds then.
    PlatformOutcome<bool> requestFullAccess(EventStoreEntity entity) override;

    PlatformOutcome<std::vector<StoreCalendar>> calendars(EventStoreEntity entity) override;
    PlatformOutcome<std::vector<StoreEvent>> events(StoreInstant start, StoreInstant end) override;
    PlatformOutcome<std::vector<StoreEvent>> earliestEvents(StoreInstant start, StoreInstant end,
                                                            std::size_t count) override;
    PlatformOutcome<std::optional<StoreEvent>> event(const std::string& identifier) override;
    PlatformOutcome<StoreEvent> saveEvent(const NewStoreEvent& event) override;
    PlatformOutcome<std::vector<StoreReminder>> reminders(const ReminderQuery& query) override;
    PlatformOutcome<StoreReminder> saveReminder(const NewStoreReminder& reminder) override;

    // Whether the process's own permissions let it read, write and enter
    // the folder.
    static bool processMayReadAndWrite(const std::filesystem::path& folder);

private:
    const std::filesystem::path& folderOf(EventStoreEntity entity) const;
    PlatformOutcome<std::vector<VdirCollection>> collections(EventStoreEntity entity) const;
    PlatformOutcome<VdirCollection> collectionForNewItem(EventStoreEntity entity,
                                                     const std::optional<std::string>& identifier) const;
    void forEachItemFile(const std::vector<VdirCollection>& collections,
                         const std::function<bool(const VdirCollection&, const std::filesystem::path&, const std::string&)>&
                             visit) const;
    PlatformOutcome<std::vector<StoreEvent>> readEvents(StoreInstant start, StoreInstant end,
                                                        std::optional<std::size_t> earliest);
    void reportSkipped(const std::filesystem::path& path, const std::string& why) const;

    VdirEventStoreSettings settings_;
    FolderAccessCheck accessCheck_;
    SkipReport skipReport_;
};

// The store over the folders the user chose. Calendars: $LUMENARY_CALENDAR_DIR,
// else the defaults key "calendarDirectory", else $XDG_DATA_HOME/calendars
// (~/.local/share/calendars). Reminders: $LUMENARY_REMINDERS_DIR, else
// "remindersDirectory", else the calendar folder. New items go to the
// collections titled by "defaultCalendar" and "defaultReminderList". All of
// these are read once, here.
std::shared_ptr<EventStore> makeVdirEventStore(const DefaultsStore& defaults);

}  // namespace lumenary::platform
