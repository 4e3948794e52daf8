#include "platform/calendar/vdir_item_file.hpp"

#include <unistd.h>

#include <cstring>

#include "platform/files/bounded_file_reader.hpp"
#include "platform/files/durable_temporary_file.hpp"
#include "platform/files/no_replace_move.hpp"

namespace lumenary::platform {

namespace {

PlatformError itemFileError(const std::string& what, const std::filesystem::path& path, int errorNumber) {
    return PlatformError{"EventStore", 500, what + " " + path.string() + ": " + std::strerror(errorNumber)};
}

}  // namespace

PlatformOutcome<std::string> readVdirItemFile(const std::filesystem::path& path) {
    return readBoundedFile(path, maximumVdirItemFileBytes, "EventStore");
}

PlatformOutcome<std::filesystem::path> writeNewVdirItemFile(const std::filesystem::path& folder,
                                                            const std::string& fileStem, const std::string& text) {
    const std::filesystem::path target = folder / (fileStem + ".ics");
    const auto temporary = writeDurableTemporaryFile((folder / ("." + fileStem + ".XXXXXX")).string(), text);
    if (temporary.path.empty()) {
        return itemFileError("Cannot create a file in", folder, temporary.errorNumber);
    }
    if (temporary.errorNumber != 0) {
        return itemFileError("Cannot write", target, temporary.errorNumber);
    }
    if (const int error = moveWithoutReplacing(temporary.path, target); error != 0) {
        ::unlink(temporary.path.c_str());
        return itemFileError("Cannot create", target, error);
    }
    syncFolder(folder);
    return target;
}

}  // namespace lumenary::platform
