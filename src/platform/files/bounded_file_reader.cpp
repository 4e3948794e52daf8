#include "platform/files/bounded_file_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "system/owned_descriptor.hpp"

namespace lumenary::platform {

namespace {

std::string sizeText(std::uintmax_t bytes) {
    constexpr std::uintmax_t mebibyte = 1024 * 1024;
    if (bytes % mebibyte == 0) {
        return std::to_string(bytes / mebibyte) + " MiB";
    }
    return std::to_string(bytes) + " bytes";
}

}  // namespace

PlatformOutcome<std::string> readBoundedFile(const std::filesystem::path& path, std::uintmax_t maximumBytes,
                                             const std::string& domain) {
    const auto failure = [&](const std::string& what, int errorNumber) {
        return PlatformError{domain, 500, what + " " + path.string() + ": " + std::strerror(errorNumber)};
    };
    const auto tooLarge = [&] {
        return PlatformError{domain, 500, path.string() + " is larger than " + sizeText(maximumBytes)};
    };
    system::OwnedDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        return failure("Cannot open", errno);
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        return failure("Cannot read", errno);
    }
    if (!S_ISREG(status.st_mode)) {
        return PlatformError{domain, 500, path.string() + " is not a regular file"};
    }
    if (static_cast<std::uintmax_t>(status.st_size) > maximumBytes) {
        return tooLarge();
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failure("Cannot read", errno);
        }
        if (count == 0) {
            return bytes;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
        // The file may have grown since it was measured.
        if (bytes.size() > maximumBytes) {
            return tooLarge();
        }
    }
}

}  // namespace lumenary::platform
