#pragma once

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/permissions/probe_permission_manager.hpp"
#include "platform/calendar/vdir_event_store.hpp"
#include "platform/contacts/vcard_folder_contact_store.hpp"
#include "support/memory_accessibility.hpp"
#include "support/messages_database_file.hpp"
#include "support/recording_input_events.hpp"
#include "support/recording_url_opener.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::testing {

// What stands at a probed location.
enum class Shape {
    absent,
    // A folder for the stores, a messages database for the database path.
    present,
    // A plain file in place of the folder (or, for the database, a folder
    // in place of the file): the refusal that holds even for root.
    wrongKind,
    danglingLink,
    // A folder the injected access check refuses.
    refusedByCheck,
    // A file that is not SQLite, at the database path.
    notADatabase,
};

// A gate that holds every caller until the test opens it, or for five
// seconds at most, so that a probe left unbounded fails its test instead of
// hanging it.
class Gate {
public:
    void wait() {
        std::unique_lock lock(mutex_);
        opened_.wait_for(lock, std::chrono::seconds(5), [this] { return open_; });
    }
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

// The program's working folder moved for one test (relative store paths are
// relative to it), put back when the object goes.
class ScopedWorkingDirectory {
public:
    explicit ScopedWorkingDirectory(const std::filesystem::path& folder) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~ScopedWorkingDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

private:
    std::filesystem::path previous_;
};

// An accessibility bus that answers only once its gate opens.
class GatedAccessibility final : public platform::Accessibility {
public:
    explicit GatedAccessibility(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}
    std::optional<std::string> unavailability() override {
        gate_->wait();
        return std::nullopt;
    }
    std::vector<std::unique_ptr<platform::AccessibleElement>> applications() override { return {}; }

private:
    std::shared_ptr<Gate> gate_;
};

// A permission manager over real stores in a temporary folder, an in-memory
// desktop, a recording link opener and console, and a short probe bound.
class PermissionProbeFixture {
public:
    static constexpr std::chrono::milliseconds bound{200};

    PermissionProbeFixture() : PermissionProbeFixture("store") {}

    // Every location is named `name` inside its own folder of the temporary
    // folder; a relative name stays relative (the test moves the working
    // folder there).
    explicit PermissionProbeFixture(const std::string& name)
        : calendarFolder(root.path() / "calendar" / name),
          reminderFolder(root.path() / "reminders" / name),
          contactsFolder(root.path() / "contacts" / name),
          database(root.path() / "messages" / name) {
        for (const auto* location : {&calendarFolder, &reminderFolder, &contactsFolder, &database}) {
            std::filesystem::create_directories(location->parent_path());
        }
    }

    // Makes `shape` stand at `location`.
    void place(const std::filesystem::path& location, Shape shape) {
        switch (shape) {
            case Shape::absent: break;
            case Shape::present:
                if (location == database) {
                    databaseFile.emplace(location);
                } else {
                    std::filesystem::create_directories(location);
                }
                break;
            case Shape::wrongKind:
                if (location == database) {
                    std::filesystem::create_directories(location);
                } else {
                    std::ofstream(location) << "not a folder";
                }
                break;
            case Shape::danglingLink: std::filesystem::create_symlink(root.path() / "nowhere", location); break;
            case Shape::refusedByCheck:
                std::filesystem::create_directories(location);
                refused.insert(std::filesystem::absolute(location));
                break;
            case Shape::notADatabase: std::ofstream(location) << "plain text, not SQLite"; break;
        }
    }

    std::shared_ptr<app::ProbePermissionManager> manager() {
        auto store = std::make_shared<platform::VdirEventStore>(
            platform::VdirEventStoreSettings{.calendarFolder = calendarFolder,
                                             .reminderFolder = reminderFolder,
                                             .defaultCalendarTitle = std::nullopt,
                                             .defaultReminderListTitle = std::nullopt},
            [this](const std::filesystem::path& folder) { return allowed(folder, true); },
            [](const std::string&) {});
        auto contacts = std::make_shared<platform::VCardFolderContactStore>(
            contactsFolder, [this](const std::filesystem::path& folder) { return allowed(folder, false); },
            [](const std::string&) {});
        if (!desktop) {
            std::unique_ptr<platform::Accessibility> bus;
            if (busGate) {
                bus = std::make_unique<GatedAccessibility>(busGate);
            } else {
                auto memory = std::make_unique<MemoryAccessibility>();
                memory->unavailable = busUnavailable;
                bus = std::move(memory);
            }
            auto inputEvents = std::make_unique<RecordingInputEvents>();
            inputEvents->unavailable = displayUnavailable;
            desktop = std::make_shared<app::MacOSControlService>(std::move(bus), std::move(inputEvents), ::getpid());
        }
        if (!accessibilitySetting) {
            accessibilitySetting = [this] { return accessibilityEnabled; };
        }
        return std::make_shared<app::ProbePermissionManager>(app::PermissionProbeSources{
            .eventKit = std::make_shared<app::EventKitService>(store, logging::Console()),
            .contacts = std::make_shared<app::ContactsManager>(contacts),
            .messages = std::make_shared<platform::MessageDatabase>(database),
            .desktop = desktop,
            .accessibilitySetting = accessibilitySetting,
            .accessibilitySettingsProgram = [] { return std::vector<std::string>{"settings-program", "access"}; },
            .urlOpener = opener,
            .startProgram =
                [this](const std::vector<std::string>& program) {
                    std::lock_guard lock(mutex);
                    startedPrograms.push_back(program);
                    return std::optional<platform::PlatformError>();
                },
            .console = logging::Console("", [this](std::string line) {
                std::lock_guard lock(mutex);
                consoleLines.push_back(std::move(line));
            }),
            .probeBound = bound});
    }

    std::vector<std::string> lines() {
        std::lock_guard lock(mutex);
        return consoleLines;
    }
    std::vector<std::vector<std::string>> programs() {
        std::lock_guard lock(mutex);
        return startedPrograms;
    }

    TemporaryDirectory root;
    std::filesystem::path calendarFolder;
    std::filesystem::path reminderFolder;
    std::filesystem::path contactsFolder;
    std::filesystem::path database;
    std::optional<MessagesDatabaseFile> databaseFile;

    // The desktop as the trust check sees it: nothing means it passes.
    std::optional<std::string> displayUnavailable;
    std::optional<std::string> busUnavailable;
    std::optional<bool> accessibilityEnabled = true;
    // When set, every folder access check waits for it.
    std::shared_ptr<Gate> folderCheckGate;
    // When set, the accessibility bus answers only once it opens.
    std::shared_ptr<Gate> busGate;
    // When set, the desktop and the setting reader the manager uses instead
    // of the in-memory ones above.
    std::shared_ptr<app::MacOSControlService> desktop;
    std::function<std::optional<bool>()> accessibilitySetting;

    std::shared_ptr<RecordingUrlOpener> opener = std::make_shared<RecordingUrlOpener>();

private:
    bool allowed(const std::filesystem::path& folder, bool write) {
        if (folderCheckGate) {
            folderCheckGate->wait();
        }
        if (refused.contains(std::filesystem::absolute(folder))) {
            return false;
        }
        return write ? platform::VdirEventStore::processMayReadAndWrite(folder)
                     : platform::VCardFolderContactStore::processMayRead(folder);
    }

    std::set<std::filesystem::path> refused;
    std::mutex mutex;
    std::vector<std::string> consoleLines;
    std::vector<std::vector<std::string>> startedPrograms;
};

}  // namespace lumenary::testing
