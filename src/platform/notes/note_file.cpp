#include "platform/notes/note_file.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files/bounded_file_reader.hpp"
#include "platform/files/durable_temporary_file.hpp"
#include "platform/files/no_replace_move.hpp"
#include "platform/notes/note_file_name.hpp"
#include "platform/notes/note_store.hpp"

namespace lumenary::platform {

namespace {

constexpr std::string_view noteFileDomain = noteFileErrorDomain;

// Far more notes of one title than anyone keeps; the bound only ends the
// search for a free name when every name is somehow taken.
constexpr std::size_t lastClashNumber = 100000;

PlatformError noteFileError(const std::string& what, const std::filesystem::path& path, int errorNumber) {
    return PlatformError{std::string(noteFileDomain), 500,
                         what + " " + path.string() + ": " + std::strerror(errorNumber)};
}

}  // namespace

PlatformOutcome<std::string> readNoteFile(const std::filesystem::path& path) {
    return readBoundedFile(path, maximumNoteFileBytes, std::string(noteFileDomain));
}

PlatformOutcome<std::string> writeNewNoteFile(const std::filesystem::path& folder, const std::string& title,
                                              const std::string& text) {
    // Hidden, so that no listing shows a note before it is whole.
    const auto temporary = writeDurableTemporaryFile((folder / ".note-XXXXXX").string(), text);
    if (temporary.path.empty()) {
        return noteFileError("Cannot create a file in", folder, temporary.errorNumber);
    }
    if (temporary.errorNumber != 0) {
        return noteFileError("Cannot write", temporary.path, temporary.errorNumber);
    }
    const auto fail = [&](const std::string& what, const std::filesystem::path& path, int errorNumber) {
        ::unlink(temporary.path.c_str());
        return noteFileError(what, path, errorNumber);
    };
    const std::string stem = fileSystemName(title);
    for (std::size_t number = 1; number <= lastClashNumber; ++number) {
        const std::string name = numberedFileName(stem, number, noteFileExtension);
        const std::filesystem::path target = folder / name;
        const int error = moveWithoutReplacing(temporary.path, target);
        if (error == EEXIST) {
            continue;
        }
        if (error != 0) {
            return fail("Cannot create", target, error);
        }
        syncFolder(folder);
        return name.substr(0, name.size() - noteFileExtension.size());
    }
    return fail("Cannot find a free name for", folder / (stem + std::string(noteFileExtension)), EEXIST);
}

}  // namespace lumenary::platform
