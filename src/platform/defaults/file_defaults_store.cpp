#include "platform/defaults/file_defaults_store.hpp"

#include <functional>
#include <system_error>

#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"
#include "platform/defaults/config_directory.hpp"
#include "platform/defaults/defaults_file.hpp"

namespace lumenary::platform {

namespace {

// A change sets the key's value, or removes the key when it holds nothing.
void applyChange(mcp::Value::Object& values, std::string_view key, const std::optional<mcp::Value>& change) {
    if (change) {
        values.insert_or_assign(std::string(key), *change);
    } else if (const auto found = values.find(key); found != values.end()) {
        values.erase(found);
    }
}

template <typename Changes>
void applyChanges(mcp::Value::Object& values, const Changes& changes) {
    for (const auto& [key, change] : changes) {
        applyChange(values, key, change);
    }
}

}  // namespace

FileDefaultsStore::FileDefaultsStore(std::filesystem::path folder, std::chrono::milliseconds flushDelay)
    : path_(std::move(folder) / "defaults.json"), flushDelay_(flushDelay), logger_("lumenary.defaults") {
    try {
        auto contents = defaults_file::read(path_);
        if (auto* values = std::get_if<mcp::Value::Object>(&contents)) {
            values_ = std::move(*values);
        } else if (auto* unreadable = std::get_if<defaults_file::Unreadable>(&contents)) {
            keepCopyOfUnreadable(unreadable->text, unreadable->reason);
        }
    } catch (const std::system_error& error) {
        logger_.error("Cannot read the defaults, starting from defaults: " + std::string(error.what()));
    }
    writer_ = std::thread([this] { writeLoop(); });
}

FileDefaultsStore::~FileDefaultsStore() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    writer_.join();
    flush();
}

FileDefaultsStore& FileDefaultsStore::standard() {
    // Never destroyed before exit; its destructor writes what is pending.
    static FileDefaultsStore store(configDirectory());
    return store;
}

std::optional<mcp::Value> FileDefaultsStore::object(std::string_view key) const {
    std::lock_guard lock(mutex_);
    const auto found = values_.find(key);
    return found == values_.end() ? std::nullopt : std::optional(found->second);
}

void FileDefaultsStore::set(std::string_view key, mcp::Value value) {
    change(key, std::move(value));
}

void FileDefaultsStore::remove(std::string_view key) {
    change(key, std::nullopt);
}

void FileDefaultsStore::change(std::string_view key, Change value) {
    if (value) {
        // A value JSON cannot hold would fail every later write of the file.
        try {
            mcp::writeJSON(*value);
        } catch (const mcp::EncodingError& error) {
            logger_.error("Not storing \"" + std::string(key) + "\": " + error.what());
            return;
        }
    }
    bool wakeWriter = false;
    {
        std::lock_guard lock(mutex_);
        // Only the first change of a burst needs the writer; the rest ride
        // along with its write.
        wakeWriter = pending_.empty() || waitForChange_;
        applyChange(values_, key, value);
        pending_.insert_or_assign(std::string(key), std::move(value));
        waitForChange_ = false;
    }
    if (wakeWriter) {
        wake_.notify_all();
    }
}

void FileDefaultsStore::preserveUnreadable(std::string_view key) {
    std::lock_guard flushing(flushMutex_);
    try {
        auto contents = defaults_file::read(path_);
        if (std::holds_alternative<defaults_file::Missing>(contents)) {
            return;
        }
        const auto copy = defaults_file::keepCorruptCopy(path_);
        logger_.warning("The stored value of \"" + std::string(key) + "\" cannot be read and will be replaced" +
                        (copy ? "; the file as it was is kept as " + copy->string() : std::string()));
    } catch (const std::system_error& error) {
        logger_.error("Cannot keep a copy of the defaults: " + std::string(error.what()));
    }
}

void FileDefaultsStore::keepCopyOfUnreadable(const std::string& text, const std::string& why) {
    // Once per distinct content: the start-up copy must not be repeated at
    // every later write while the file on disk is still the bad one.
    const auto textHash = std::hash<std::string>{}(text) | 1;
    if (textHash == preservedTextHash_) {
        return;
    }
    preservedTextHash_ = textHash;
    const auto copy = defaults_file::keepCorruptCopy(path_);
    logger_.error("The defaults file " + path_.string() + " is unreadable (" + why + "); " +
                  (copy ? "kept it as " + copy->string() : std::string("could not copy it")) +
                  " and started from defaults");
}

bool FileDefaultsStore::flush() {
    std::lock_guard flushing(flushMutex_);
    std::map<std::string, Change, std::less<>> changes;
    mcp::Value::Object current;
    {
        std::lock_guard lock(mutex_);
        if (pending_.empty()) {
            return true;
        }
        changes.swap(pending_);
        current = values_;
    }
    try {
        std::filesystem::create_directories(path_.parent_path());
        defaults_file::Lock lock(path_);
        // Another process may have written since we read: its keys stay,
        // ours go on top. If the file went bad meanwhile, our own view is
        // the best there is.
        auto contents = defaults_file::read(path_);
        mcp::Value::Object merged;
        if (auto* values = std::get_if<mcp::Value::Object>(&contents)) {
            merged = std::move(*values);
        } else {
            if (auto* unreadable = std::get_if<defaults_file::Unreadable>(&contents)) {
                keepCopyOfUnreadable(unreadable->text, unreadable->reason);
            }
            merged = current;
        }
        applyChanges(merged, changes);
        defaults_file::writeDurably(path_, mcp::writeJSON(mcp::Value(merged)));
        std::lock_guard guard(mutex_);
        // Changes made while we wrote are newer than what we merged.
        applyChanges(merged, pending_);
        values_ = std::move(merged);
        if (lastWriteFailed_) {
            logger_.notice("The defaults are written to " + path_.string() + " again");
        }
        lastWriteFailed_ = false;
        return true;
    } catch (const std::exception& error) {
        std::lock_guard guard(mutex_);
        // A change made while this write failed still deserves its attempt.
        waitForChange_ = pending_.empty();
        for (auto& [key, value] : changes) {
            pending_.try_emplace(key, std::move(value));
        }
        if (!lastWriteFailed_) {
            logger_.error("Cannot write the defaults, keeping them in memory: " + std::string(error.what()));
        }
        lastWriteFailed_ = true;
        return false;
    }
}

void FileDefaultsStore::writeLoop() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || (!pending_.empty() && !waitForChange_); });
        if (stopping_) {
            return;
        }
        // Gather the burst of writes that usually comes together.
        wake_.wait_for(lock, flushDelay_, [this] { return stopping_; });
        lock.unlock();
        flush();
        lock.lock();
    }
}

}  // namespace lumenary::platform
