#include "platform/files/durable_temporary_file.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

#include "system/owned_descriptor.hpp"
#include "system/write_all.hpp"

namespace lumenary::platform {

DurableTemporaryFile writeDurableTemporaryFile(std::string pattern, std::string_view text) {
    system::OwnedDescriptor file(::mkostemp(pattern.data(), O_CLOEXEC));
    if (file.get() < 0) {
        return {.path = {}, .errorNumber = errno};
    }
    int error = system::writeAll(file.get(), text);
    if (error == 0 && ::fsync(file.get()) != 0) {
        error = errno;
    }
    if (error == 0 && ::close(file.release()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(pattern.c_str());
    }
    return {.path = std::move(pattern), .errorNumber = error};
}

void syncFolder(const std::filesystem::path& folder) {
    system::OwnedDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) {
        ::fsync(directory.get());
    }
}

}  // namespace lumenary::platform
