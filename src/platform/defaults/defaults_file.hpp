#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <variant>

#include "mcp/core/value.hpp"

// The file operations behind FileDefaultsStore, apart so each stays small.
namespace lumenary::platform::defaults_file {

struct Missing {};
struct Unreadable {
    std::string reason;
    std::string text;
};
using ReadResult = std::variant<Missing, mcp::Value::Object, Unreadable>;

// The file's top-level object. Throws std::system_error only when the file
// exists but cannot be read at all.
ReadResult read(const std::filesystem::path& path);

// Replaces the file by way of a temporary beside it that is written, synced
// and renamed over; the folder is synced too, so the change survives a
// crash. Throws std::system_error naming the step that failed.
void writeDurably(const std::filesystem::path& path, const std::string& text);

// Copies the file to "<name>.corrupt-<UTC time>" beside it and returns the
// copy's path; nothing when there was no file to copy.
std::optional<std::filesystem::path> keepCorruptCopy(const std::filesystem::path& path);

// An exclusive advisory lock on "<name>.lock" beside the file, held for
// the object's lifetime, shared with every other process that writes it.
class Lock {
public:
    explicit Lock(const std::filesystem::path& path);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    int descriptor_ = -1;
};

}  // namespace lumenary::platform::defaults_file
