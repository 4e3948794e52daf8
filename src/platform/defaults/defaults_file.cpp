#include "platform/defaults/defaults_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <system_error>
#include <utility>

#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"
#include "platform/files/bounded_file_reader.hpp"
#include "system/owned_descriptor.hpp"
#include "system/write_all.hpp"

namespace lumenary::platform::defaults_file {

namespace {

// Far above anything the program writes; a bigger file is not ours.
constexpr std::size_t maximumFileSize = 64 * 1024 * 1024;

[[noreturn]] void throwSystemError(int errorNumber, const std::string& what, const std::filesystem::path& path) {
    throw std::system_error(errorNumber, std::generic_category(), what + " " + path.string());
}

[[noreturn]] void throwSystemError(const std::string& what, const std::filesystem::path& path) {
    throwSystemError(errno, what, path);
}

std::string utcTimestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40];
    const auto length = std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &parts);
    return std::string(text, length) + "." + std::to_string(1000 + milliseconds).substr(1) + "Z";
}

void writeAll(int descriptor, const std::string& text, const std::filesystem::path& path) {
    if (const int error = system::writeAll(descriptor, text); error != 0) {
        errno = error;
        throwSystemError("cannot write", path);
    }
}

}  // namespace

ReadResult read(const std::filesystem::path& path) {
    using Reason = BoundedReadFailure::Reason;
    auto bytes = readBoundedBytes(path, maximumFileSize);
    if (const auto* failure = std::get_if<BoundedReadFailure>(&bytes)) {
        switch (failure->reason) {
            case Reason::cannotOpen:
                if (failure->errorNumber == ENOENT) {
                    return Missing{};
                }
                throwSystemError(failure->errorNumber, "cannot open", path);
            case Reason::cannotRead: throwSystemError(failure->errorNumber, "cannot read", path);
            // Thrown rather than kept aside as unreadable: what stands there
            // is not the store's to rename a new file over.
            case Reason::notRegularFile: throwSystemError(EINVAL, "cannot read the non-regular file", path);
            case Reason::tooLarge: return Unreadable{"larger than 64 MiB", {}};
        }
    }
    std::string text = std::get<std::string>(std::move(bytes));
    try {
        auto value = mcp::parseJSON(text);
        if (auto* object = value.objectValue()) {
            return std::move(*object);
        }
        return Unreadable{"the top level is not a JSON object", std::move(text)};
    } catch (const mcp::DecodingError& error) {
        return Unreadable{std::string("not JSON: ") + error.what(), std::move(text)};
    }
}

void writeDurably(const std::filesystem::path& path, const std::string& text) {
    static std::atomic<unsigned> counter = 0;
    const auto folder = path.parent_path();
    const auto temporary = folder / ("." + path.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                                     std::to_string(++counter));
    {
        system::OwnedDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (file.get() < 0) {
            throwSystemError("cannot create", temporary);
        }
        try {
            writeAll(file.get(), text, temporary);
            if (::fsync(file.get()) != 0) {
                throwSystemError("cannot sync", temporary);
            }
            if (::close(file.release()) != 0) {
                throwSystemError("cannot close", temporary);
            }
            if (::rename(temporary.c_str(), path.c_str()) != 0) {
                throwSystemError("cannot rename over", path);
            }
        } catch (...) {
            ::unlink(temporary.c_str());
            throw;
        }
    }
    system::OwnedDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0 || ::fsync(directory.get()) != 0) {
        throwSystemError("cannot sync the folder", folder);
    }
}

std::optional<std::filesystem::path> keepCorruptCopy(const std::filesystem::path& path) {
    auto copy = path;
    copy += ".corrupt-" + utcTimestamp();
    std::error_code error;
    if (!std::filesystem::copy_file(path, copy, std::filesystem::copy_options::skip_existing, error) && error) {
        return std::nullopt;
    }
    // The original may be replaced right after: the copy must be on disk first.
    system::OwnedDescriptor file(::open(copy.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() >= 0) {
        ::fsync(file.get());
    }
    return copy;
}

Lock::Lock(const std::filesystem::path& path) {
    auto lockPath = path;
    lockPath += ".lock";
    descriptor_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor_ < 0) {
        throwSystemError("cannot open the lock", lockPath);
    }
    while (::flock(descriptor_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int saved = errno;
            ::close(descriptor_);
            errno = saved;
            throwSystemError("cannot lock", lockPath);
        }
    }
}

Lock::~Lock() {
    // Closing the descriptor releases the lock.
    ::close(descriptor_);
}

}  // namespace lumenary::platform::defaults_file
