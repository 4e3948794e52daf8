#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "logging/logger.hpp"
#include "platform/defaults/defaults_store.hpp"

namespace lumenary::platform {

// Defaults kept in "defaults.json" in a folder. Reads answer from memory;
// writes are gathered and reach the file within `flushDelay` (and always
// when the store is destroyed), replacing it atomically under an advisory
// lock after re-reading it, so two processes that write different keys keep
// each other's. A file that cannot be read is copied aside before anything
// replaces it; a folder that cannot be written leaves the store working in
// memory, with the failure logged. A value JSON cannot hold (a non-finite
// number, text that is not UTF-8) is refused and logged.
class FileDefaultsStore final : public DefaultsStore {
public:
    static constexpr std::chrono::milliseconds defaultFlushDelay{200};

    explicit FileDefaultsStore(std::filesystem::path folder, std::chrono::milliseconds flushDelay = defaultFlushDelay);
    ~FileDefaultsStore() override;
    FileDefaultsStore(const FileDefaultsStore&) = delete;
    FileDefaultsStore& operator=(const FileDefaultsStore&) = delete;

    // The process's store, in configDirectory(); written out at exit.
    static FileDefaultsStore& standard();

    std::optional<mcp::Value> object(std::string_view key) const override;
    void set(std::string_view key, mcp::Value value) override;
    void remove(std::string_view key) override;
    void preserveUnreadable(std::string_view key) override;

    // Writes every pending change now. True when the file holds them (or
    // nothing was pending); a failure is logged and the changes stay pending.
    bool flush();

    const std::filesystem::path& filePath() const noexcept { return path_; }

private:
    using Change = std::optional<mcp::Value>;  // nothing: the key is removed

    void change(std::string_view key, Change value);
    void writeLoop();
    void keepCopyOfUnreadable(const std::string& text, const std::string& why);

    const std::filesystem::path path_;
    const std::chrono::milliseconds flushDelay_;
    logging::Logger logger_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    mcp::Value::Object values_;
    std::map<std::string, Change, std::less<>> pending_;
    bool stopping_ = false;
    // After a failed write, wait for the next change instead of retrying
    // in a loop against a folder that stays read-only.
    bool waitForChange_ = false;

    std::mutex flushMutex_;
    bool lastWriteFailed_ = false;
    std::size_t preservedTextHash_ = 0;

    std::thread writer_;
};

}  // namespace lumenary::platform
