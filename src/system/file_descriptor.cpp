#include "system/file_descriptor.hpp"

#include <fcntl.h>

#include <cerrno>

#include "system/fatal_error.hpp"
#include "system/system_calls.hpp"

namespace lumenary::system {

namespace {

// Makes `call` until it succeeds or fails other than by EINTR (or fails at
// all, when interrupted calls are not to be repeated).
template <typename Call>
auto callRetrying(bool retryOnInterrupt, Call call) -> decltype(call()) {
    while (true) {
        const auto result = call();
        if (result != -1 || !retryOnInterrupt || errno != EINTR) {
            return result;
        }
    }
}

template <typename Count>
SystemCallResult<std::size_t> countOrErrno(Count result) {
    if (result == -1) {
        return Errno::current();
    }
    return static_cast<std::size_t>(result);
}

SystemCallResult<FileDescriptor> descriptorOrErrno(int result) {
    if (result == -1) {
        return Errno::current();
    }
    return FileDescriptor(result);
}

SystemCallResult<void> nothingOrErrno(int result) {
    if (result == -1) {
        return Errno::current();
    }
    return {};
}

// Both read the mode argument; an unnamed temporary file is created too.
bool createsFile(OpenOptions options) {
    const auto flags = options.rawValue();
    return (flags & O_CREAT) == O_CREAT || (flags & O_TMPFILE) == O_TMPFILE;
}

// The write loop shared by both whole-buffer writes; `write` takes the
// remainder and how much came before it.
template <typename Write>
SystemCallResult<std::size_t> writeEveryByte(std::span<const std::byte> bytes, Write write) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t result = callRetrying(true, [&] { return write(bytes.subspan(written), written); });
        if (result == -1) {
            return Errno::current();
        }
        if (result == 0) {
            return Errno::ioError;
        }
        written += static_cast<std::size_t>(result);
    }
    return written;
}

}  // namespace

SystemCallResult<FileDescriptor> FileDescriptor::_open(const char* path, AccessMode mode, OpenOptions options,
                                                       std::optional<FilePermissions> permissions,
                                                       bool retryOnInterrupt) {
    if (createsFile(options) && !permissions) {
        fatalError("FileDescriptor._open: creating a file requires permissions");
    }
    const int flags = mode.rawValue() | options.rawValue();
    const mode_t permissionBits = permissions ? permissions->rawValue() : 0;
    const auto& calls = SystemCalls::current();
    return descriptorOrErrno(callRetrying(retryOnInterrupt, [&] {
        return calls.open(path, flags, permissions.has_value(), permissionBits);
    }));
}

SystemCallResult<void> FileDescriptor::_close() const {
    return nothingOrErrno(SystemCalls::current().close(rawValue_));
}

SystemCallResult<std::int64_t> FileDescriptor::_seek(std::int64_t offset, SeekOrigin from) const {
    const off_t result = SystemCalls::current().lseek(rawValue_, offset, from.rawValue());
    if (result == -1) {
        return Errno::current();
    }
    return static_cast<std::int64_t>(result);
}

SystemCallResult<std::size_t> FileDescriptor::_read(std::span<std::byte> into, bool retryOnInterrupt) const {
    const auto& calls = SystemCalls::current();
    return countOrErrno(
        callRetrying(retryOnInterrupt, [&] { return calls.read(rawValue_, into.data(), into.size()); }));
}

SystemCallResult<std::size_t> FileDescriptor::_read(std::int64_t fromAbsoluteOffset, std::span<std::byte> into,
                                                    bool retryOnInterrupt) const {
    const auto& calls = SystemCalls::current();
    return countOrErrno(callRetrying(
        retryOnInterrupt, [&] { return calls.pread(rawValue_, into.data(), into.size(), fromAbsoluteOffset); }));
}

SystemCallResult<std::size_t> FileDescriptor::_write(std::span<const std::byte> bytes, bool retryOnInterrupt) const {
    const auto& calls = SystemCalls::current();
    return countOrErrno(
        callRetrying(retryOnInterrupt, [&] { return calls.write(rawValue_, bytes.data(), bytes.size()); }));
}

SystemCallResult<std::size_t> FileDescriptor::_write(std::int64_t toAbsoluteOffset, std::span<const std::byte> bytes,
                                                     bool retryOnInterrupt) const {
    const auto& calls = SystemCalls::current();
    return countOrErrno(callRetrying(
        retryOnInterrupt, [&] { return calls.pwrite(rawValue_, bytes.data(), bytes.size(), toAbsoluteOffset); }));
}

SystemCallResult<std::size_t> FileDescriptor::_writeAll(std::span<const std::byte> bytes) const {
    const auto& calls = SystemCalls::current();
    return writeEveryByte(bytes, [&](std::span<const std::byte> remainder, std::size_t) {
        return calls.write(rawValue_, remainder.data(), remainder.size());
    });
}

SystemCallResult<std::size_t> FileDescriptor::_writeAll(std::int64_t toAbsoluteOffset,
                                                        std::span<const std::byte> bytes) const {
    const auto& calls = SystemCalls::current();
    return writeEveryByte(bytes, [&](std::span<const std::byte> remainder, std::size_t written) {
        return calls.pwrite(rawValue_, remainder.data(), remainder.size(),
                            toAbsoluteOffset + static_cast<off_t>(written));
    });
}

SystemCallResult<FileDescriptor> FileDescriptor::_duplicate(std::optional<FileDescriptor> target,
                                                            bool retryOnInterrupt) const {
    const auto& calls = SystemCalls::current();
    // dup2, never dup3: onto itself it must give the descriptor back.
    return descriptorOrErrno(callRetrying(retryOnInterrupt, [&] {
        return target ? calls.dup2(rawValue_, target->rawValue()) : calls.dup(rawValue_);
    }));
}

SystemCallResult<FileDescriptor::Pipe> FileDescriptor::_pipe() {
    int ends[2];
    if (SystemCalls::current().pipe(ends) == -1) {
        return Errno::current();
    }
    return Pipe{FileDescriptor(ends[0]), FileDescriptor(ends[1])};
}

SystemCallResult<void> FileDescriptor::_resize(std::int64_t size, bool retryOnInterrupt) const {
    const auto& calls = SystemCalls::current();
    return nothingOrErrno(callRetrying(retryOnInterrupt, [&] { return calls.ftruncate(rawValue_, size); }));
}

void FileDescriptor::throwIfCloseFails() const {
    if (const auto closed = _close(); !closed) {
        throw std::system_error(closed.error().errorCode(), "close of descriptor " + std::to_string(rawValue_));
    }
}

}  // namespace lumenary::system
