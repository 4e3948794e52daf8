#include "platform/note_file.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/bounded_file_reader.hpp"
#include "platform/no_replace_move.hpp"
#include "platform/note_file_name.hpp"
#include "platform/note_store.hpp"
#include "system/owned_descriptor.hpp"
#include "system/write_all.hpp"

namespace lumenary::platform {

namespace {

constexpr std::string_view domain = noteFileErrorDomain;

// Far more notes of one title than anyone keeps; the bound only ends the
// search for a free name when every name is somehow taken.
constexpr std::size_t lastClashNumber = 100000;

PlatformError fileError(const std::string& what, const std::filesystem::path& path, int errorNumber) {
    return PlatformError{std::string(domain), 500, what + " " + path.string() + ": " + std::strerror(errorNumber)};
}

}  // namespace

PlatformOutcome<std::string> readNoteFile(const std::filesystem::path& path) {
    return readBoundedFile(path, maximumNoteFileBytes, std::string(domain));
}

PlatformOutcome<std::string> writeNewNoteFile(const std::filesystem::path& folder, const std::string& title,
                                              const std::string& text) {
    // Hidden, so that no listing shows a note before it is whole.
    std::string temporary = (folder / ".note-XXXXXX").string();
    system::OwnedDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0) {
        return fileError("Cannot create a file in", folder, errno);
    }
    const auto fail = [&](const std::string& what, const std::filesystem::path& path, int errorNumber) {
        ::unlink(temporary.c_str());
        return fileError(what, path, errorNumber);
    };
    if (const int error = system::writeAll(file.get(), text); error != 0) {
        return fail("Cannot write", temporary, error);
    }
    if (::fsync(file.get()) != 0) {
        return fail("Cannot write", temporary, errno);
    }
    if (::close(file.release()) != 0) {
        return fail("Cannot write", temporary, errno);
    }
    const std::string stem = fileSystemName(title);
    for (std::size_t number = 1; number <= lastClashNumber; ++number) {
        const std::string name = numberedFileName(stem, number, noteFileExtension);
        const std::filesystem::path target = folder / name;
        const int error = moveWithoutReplacing(temporary, target);
        if (error == EEXIST) {
            continue;
        }
        if (error != 0) {
            return fail("Cannot create", target, error);
        }
        // The new name is durable only once the folder itself is on the disk.
        system::OwnedDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (directory.get() >= 0) {
            ::fsync(directory.get());
        }
        return name.substr(0, name.size() - noteFileExtension.size());
    }
    return fail("Cannot find a free name for", folder / (stem + std::string(noteFileExtension)), EEXIST);
}

}  // namespace lumenary::platform
