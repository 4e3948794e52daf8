#include "platform/vdir_item_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "system/owned_descriptor.hpp"

namespace lumenary::platform {

namespace {

PlatformError fileError(const std::string& what, const std::filesystem::path& path, int errorNumber) {
    return PlatformError{"EventStore", 500, what + " " + path.string() + ": " + std::strerror(errorNumber)};
}

bool writeAll(int descriptor, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t result = ::write(descriptor, text.data() + written, text.size() - written);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(result);
    }
    return true;
}

// Moves `from` to `to` unless `to` exists. A file system without the
// no-replace rename gets a hard link instead, which refuses the same way.
int moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return errno;
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
        return errno;
    }
    ::unlink(from.c_str());
    return 0;
}

}  // namespace

PlatformOutcome<std::string> readVdirItemFile(const std::filesystem::path& path) {
    // Not blocking: a named pipe among the items must not stall the store.
    system::OwnedDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        return fileError("Cannot open", path, errno);
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        return fileError("Cannot read", path, errno);
    }
    if (!S_ISREG(status.st_mode)) {
        return PlatformError{"EventStore", 500, path.string() + " is not a regular file"};
    }
    if (static_cast<std::uintmax_t>(status.st_size) > maximumVdirItemFileBytes) {
        return PlatformError{"EventStore", 500, path.string() + " is larger than 16 MiB"};
    }
    std::string bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fileError("Cannot read", path, errno);
        }
        if (count == 0) {
            return bytes;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
        // The file may have grown since it was measured.
        if (bytes.size() > maximumVdirItemFileBytes) {
            return PlatformError{"EventStore", 500, path.string() + " is larger than 16 MiB"};
        }
    }
}

PlatformOutcome<std::filesystem::path> writeNewVdirItemFile(const std::filesystem::path& folder,
                                                            const std::string& fileStem, const std::string& text) {
    const std::filesystem::path target = folder / (fileStem + ".ics");
    std::string temporary = (folder / ("." + fileStem + ".XXXXXX")).string();
    system::OwnedDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0) {
        return fileError("Cannot create a file in", folder, errno);
    }
    const auto fail = [&](const std::string& what, int errorNumber) -> PlatformError {
        ::unlink(temporary.c_str());
        return fileError(what, target, errorNumber);
    };
    if (!writeAll(file.get(), text) || ::fsync(file.get()) != 0) {
        return fail("Cannot write", errno);
    }
    if (::close(file.release()) != 0) {
        return fail("Cannot write", errno);
    }
    if (const int error = moveWithoutReplacing(temporary, target); error != 0) {
        return fail("Cannot create", error);
    }
    // The new name is durable only once the folder itself is on the disk.
    system::OwnedDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) {
        ::fsync(directory.get());
    }
    return target;
}

}  // namespace lumenary::platform
