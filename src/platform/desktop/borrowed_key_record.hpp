#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/process/process_identity.hpp"
#include "system/owned_descriptor.hpp"

namespace lumenary::platform {

// A keysym, as X numbers it.
using KeySymbol = std::uint32_t;

// One key that a program of ours mapped to characters the keyboard map had
// no key for: what it put on the key's plain and shifted levels, and which
// process did.
struct RecordedKey {
    int code = 0;
    std::array<KeySymbol, 2> symbols{};
    ProcessIdentity owner;

    bool operator==(const RecordedKey&) const = default;
};

// The folder that holds the records: "lumenary" in $XDG_RUNTIME_DIR, else
// "/tmp/lumenary-<uid>", made (mode 0700) when missing. Either the folder
// or why it cannot serve, as a sentence: one that is not a folder, not this
// user's or open to other users is refused, since another user could then
// make us clear keys of theirs.
std::variant<std::filesystem::path, std::string> borrowedKeyFolder();

// Whether a record for the X display `display` exists, found without
// making the folder: most runs have none and need no display for it.
bool borrowedKeyRecordExists(std::string_view display);

// The record's file in `folder` for the X display `display`: one per X
// server, whatever screen of it the name gives.
std::filesystem::path borrowedKeyRecordFile(const std::filesystem::path& folder, std::string_view display);

// The keys that programs of ours have borrowed on one display, kept in a
// small file so that the keys of a run that ended without giving them back
// (killed, crashed) are taken back by the next. Opening takes an exclusive
// lock shared by every program of ours, held until the object goes: while
// it is held, no other program of ours changes the record or maps a key.
class BorrowedKeyRecord {
public:
    // The record of `file`, locked, or why not (a sentence). A missing file
    // is an empty record; a line that does not read is left out.
    static std::variant<BorrowedKeyRecord, std::string> open(const std::filesystem::path& file);

    // Writes `keys` in place of the file, which never shows half written;
    // why not, when it cannot. No keys leave no file.
    std::optional<std::string> save() const;

    std::vector<RecordedKey> keys;

private:
    BorrowedKeyRecord(std::filesystem::path file, system::OwnedDescriptor lock)
        : file_(std::move(file)), lock_(std::move(lock)) {}

    std::filesystem::path file_;
    system::OwnedDescriptor lock_;
};

}  // namespace lumenary::platform
