#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <initializer_list>
#include <iomanip>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/calendar/vdir_event_store.hpp"
#include "support/scoped_time_zone.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform::testing {

// Test files in namespace lumenary::platform that share a compiled batch
// with this header still find the shared support's names as testing::...
using namespace lumenary::testing;
using lumenary::testing::ScopedTimeZone;

// "2024-03-18T08:00:00Z" for the instant, so failures read as times.
inline std::string utcText(StoreInstant instant) {
    const std::time_t seconds = static_cast<std::time_t>(instant.time_since_epoch().count());
    std::tm fields{};
    ::gmtime_r(&seconds, &fields);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &fields);
    return text;
}

// The instant of a "2024-03-18T08:00:00Z" text.
inline StoreInstant utc(const std::string& text) {
    std::tm fields{};
    std::istringstream stream(text);
    stream >> std::get_time(&fields, "%Y-%m-%dT%H:%M:%SZ");
    return StoreInstant(std::chrono::seconds(::timegm(&fields)));
}

// One VCALENDAR holding the given lines, CRLF-separated as RFC 5545 has it.
inline std::string calendarText(std::initializer_list<std::string> lines) {
    std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//Test//EN\r\n";
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text + "END:VCALENDAR\r\n";
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

inline std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            files.push_back(entry.path());
        }
    }
    return files;
}

// What `read` answers, run on a thread of its own. A read that has not
// answered by the deadline ends the test program with a failure: it holds
// the iCalendar library's lock, so no later test could run.
template <typename Read>
auto answeredWithin(std::chrono::seconds deadline, Read read) -> decltype(read()) {
    auto answer = std::async(std::launch::async, std::move(read));
    if (answer.wait_for(deadline) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: the read did not answer within %lld s\n",
                     static_cast<long long>(deadline.count()));
        std::fflush(stderr);
        std::_Exit(1);
    }
    return answer.get();
}

// A vdir folder in a temporary directory with a store over it that grants
// or refuses by a flag (the tests may run as root) and keeps its skip lines.
class VdirFixture {
public:
    explicit VdirFixture(VdirEventStoreSettings settings = {}) {
        if (settings.calendarFolder.empty()) {
            settings.calendarFolder = directory_.path() / "calendars";
        }
        if (settings.reminderFolder.empty()) {
            settings.reminderFolder = settings.calendarFolder;
        }
        settings_ = settings;
        store_ = std::make_shared<VdirEventStore>(
            settings, [this](const std::filesystem::path&) { return granted_; },
            [this](const std::string& line) {
                std::lock_guard lock(mutex_);
                skipLines_.push_back(line);
            });
    }

    VdirEventStore& store() { return *store_; }
    const std::filesystem::path& root() const { return directory_.path(); }
    const std::filesystem::path& calendars() const { return settings_.calendarFolder; }
    const std::filesystem::path& reminders() const { return settings_.reminderFolder; }
    void refuseAccess() { granted_ = false; }

    std::vector<std::string> skipLines() {
        std::lock_guard lock(mutex_);
        return skipLines_;
    }

    // Writes an item file into a calendar's folder.
    void writeItem(const std::string& calendar, const std::string& file, const std::string& text) {
        writeFile(settings_.calendarFolder / calendar / file, text);
    }

private:
    lumenary::testing::TemporaryDirectory directory_;
    VdirEventStoreSettings settings_;
    bool granted_ = true;
    std::mutex mutex_;
    std::vector<std::string> skipLines_;
    std::shared_ptr<VdirEventStore> store_;
};

}  // namespace lumenary::platform::testing
