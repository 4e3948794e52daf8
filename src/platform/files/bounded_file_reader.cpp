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

std::string boundedReadFailureText(const BoundedReadFailure& failure, const std::filesystem::path& path,
                                   std::uintmax_t maximumBytes) {
    using Reason = BoundedReadFailure::Reason;
    switch (failure.reason) {
        case Reason::cannotOpen: return "Cannot open " + path.string() + ": " + std::strerror(failure.errorNumber);
        case Reason::cannotRead: return "Cannot read " + path.string() + ": " + std::strerror(failure.errorNumber);
        case Reason::notRegularFile: return path.string() + " is not a regular file";
        case Reason::tooLarge: return path.string() + " is larger than " + sizeText(maximumBytes);
    }
    return "Cannot read " + path.string();
}

template <typename Bytes>
std::variant<Bytes, BoundedReadFailure> readBounded(const std::filesystem::path& path, std::uintmax_t maximumBytes) {
    using Reason = BoundedReadFailure::Reason;
    system::OwnedDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        return BoundedReadFailure{Reason::cannotOpen, errno};
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        return BoundedReadFailure{Reason::cannotRead, errno};
    }
    if (!S_ISREG(status.st_mode)) {
        return BoundedReadFailure{Reason::notRegularFile};
    }
    if (static_cast<std::uintmax_t>(status.st_size) > maximumBytes) {
        return BoundedReadFailure{Reason::tooLarge};
    }
    Bytes bytes;
    bytes.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return BoundedReadFailure{Reason::cannotRead, errno};
        }
        if (count == 0) {
            return bytes;
        }
        bytes.insert(bytes.end(), buffer, buffer + count);
        // The file may have grown since it was measured.
        if (bytes.size() > maximumBytes) {
            return BoundedReadFailure{Reason::tooLarge};
        }
    }
}

}  // namespace

std::variant<std::string, BoundedReadFailure> readBoundedBytes(const std::filesystem::path& path,
                                                               std::uintmax_t maximumBytes) {
    return readBounded<std::string>(path, maximumBytes);
}

std::variant<std::vector<char>, BoundedReadFailure> readBoundedByteVector(const std::filesystem::path& path,
                                                                          std::uintmax_t maximumBytes) {
    return readBounded<std::vector<char>>(path, maximumBytes);
}

PlatformOutcome<std::string> readBoundedFile(const std::filesystem::path& path, std::uintmax_t maximumBytes,
                                             const std::string& domain) {
    auto bytes = readBoundedBytes(path, maximumBytes);
    if (const auto* failure = std::get_if<BoundedReadFailure>(&bytes)) {
        return PlatformError{domain, 500, boundedReadFailureText(*failure, path, maximumBytes)};
    }
    return std::get<std::string>(std::move(bytes));
}

}  // namespace lumenary::platform
