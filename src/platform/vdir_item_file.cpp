#include "platform/vdir_item_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/bounded_file_reader.hpp"
#include "platform/no_replace_move.hpp"
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

}  // namespace

PlatformOutcome<std::string> readVdirItemFile(const std::filesystem::path& path) {
    return readBoundedFile(path, maximumVdirItemFileBytes, "EventStore");
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
