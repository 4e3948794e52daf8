#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <ranges>
#include <span>
#include <system_error>
#include <type_traits>
#include <vector>

#include "system/access_mode.hpp"
#include "system/errno.hpp"
#include "system/file_permissions.hpp"
#include "system/open_options.hpp"
#include "system/seek_origin.hpp"
#include "system/system_call_result.hpp"

namespace lumenary::system {

// One open file descriptor of the process, as a plain number: it owns
// nothing, so copying it copies the number and closing is the caller's
// `_close()` (or `closeAfter`).
//
// Every system-call operation returns its value or the Errno of the failed
// call, read on the calling thread right after it. With `retryOnInterrupt` a
// call that EINTR interrupted is made again, without limit; close never is
// (the descriptor is released even when close reports EINTR).
class FileDescriptor {
public:
    using AccessMode = system::AccessMode;
    using OpenOptions = system::OpenOptions;
    using SeekOrigin = system::SeekOrigin;
    struct Pipe;

    constexpr explicit FileDescriptor(std::int32_t rawValue) noexcept : rawValue_(rawValue) {}
    constexpr std::int32_t rawValue() const noexcept { return rawValue_; }
    friend constexpr bool operator==(FileDescriptor, FileDescriptor) noexcept = default;

    static const FileDescriptor standardInput;
    static const FileDescriptor standardOutput;
    static const FileDescriptor standardError;

    // Opens `path` with the access mode or'd with the options. Creating a file
    // (`create`, or an unnamed temporary file) needs `permissions`: asking
    // without them is a programming error that stops the process.
    static SystemCallResult<FileDescriptor> _open(const char* path, AccessMode mode, OpenOptions options,
                                                  std::optional<FilePermissions> permissions,
                                                  bool retryOnInterrupt);

    SystemCallResult<void> _close() const;
    // The resulting offset from the start of the file.
    SystemCallResult<std::int64_t> _seek(std::int64_t offset, SeekOrigin from) const;

    // Bytes read; 0 at the end of the file.
    SystemCallResult<std::size_t> _read(std::span<std::byte> into, bool retryOnInterrupt) const;
    SystemCallResult<std::size_t> _read(std::int64_t fromAbsoluteOffset, std::span<std::byte> into,
                                        bool retryOnInterrupt) const;
    // Bytes written, which may be fewer than given.
    SystemCallResult<std::size_t> _write(std::span<const std::byte> bytes, bool retryOnInterrupt) const;
    SystemCallResult<std::size_t> _write(std::int64_t toAbsoluteOffset, std::span<const std::byte> bytes,
                                         bool retryOnInterrupt) const;

    // Writes every byte, repeating partial and interrupted writes, and gives
    // the count. A failed write ends it with that write's Errno (what was
    // already written stays written). A write that takes nothing of a
    // non-empty remainder ends it with EIO rather than trying for ever.
    SystemCallResult<std::size_t> _writeAll(std::span<const std::byte> bytes) const;
    SystemCallResult<std::size_t> _writeAll(std::int64_t toAbsoluteOffset, std::span<const std::byte> bytes) const;
    // Any range of bytes: contiguous ones are written in place, others
    // copied into one buffer first.
    template <std::ranges::input_range Bytes>
        requires(!std::is_convertible_v<const Bytes&, std::span<const std::byte>>)
    SystemCallResult<std::size_t> _writeAll(const Bytes& bytes) const {
        return withContiguousBytes(bytes, [this](std::span<const std::byte> buffer) { return _writeAll(buffer); });
    }
    template <std::ranges::input_range Bytes>
        requires(!std::is_convertible_v<const Bytes&, std::span<const std::byte>>)
    SystemCallResult<std::size_t> _writeAll(std::int64_t toAbsoluteOffset, const Bytes& bytes) const {
        return withContiguousBytes(bytes, [this, toAbsoluteOffset](std::span<const std::byte> buffer) {
            return _writeAll(toAbsoluteOffset, buffer);
        });
    }

    // The lowest free descriptor, or `target` itself (closing what it held;
    // duplicating onto itself closes nothing and gives it back).
    SystemCallResult<FileDescriptor> _duplicate(std::optional<FileDescriptor> target, bool retryOnInterrupt) const;

    static SystemCallResult<Pipe> _pipe();

    // Sets the file's size; growing it leaves a hole. A descriptor not open
    // for writing, a pipe, or a negative size give EINVAL.
    SystemCallResult<void> _resize(std::int64_t size, bool retryOnInterrupt) const;

    // Runs `body` and closes the descriptor on every path. When the body
    // throws, its exception passes on unchanged and a failed close is
    // dropped; otherwise a failed close throws std::system_error with the
    // close's Errno in place of the body's value.
    template <typename Body>
    std::invoke_result_t<Body&> closeAfter(Body&& body) const {
        using Value = std::invoke_result_t<Body&>;
        if constexpr (std::is_void_v<Value>) {
            closeOnFailure(body);
            throwIfCloseFails();
        } else {
            Value value = closeOnFailure(body);
            throwIfCloseFails();
            return value;
        }
    }

private:
    template <typename Body>
    decltype(auto) closeOnFailure(Body& body) const {
        try {
            return body();
        } catch (...) {
            static_cast<void>(_close());
            throw;
        }
    }
    void throwIfCloseFails() const;

    template <typename Bytes, typename Write>
    static SystemCallResult<std::size_t> withContiguousBytes(const Bytes& bytes, Write write) {
        using Element = std::ranges::range_value_t<Bytes>;
        static_assert(sizeof(Element) == 1 && std::is_trivially_copyable_v<Element>, "a range of bytes");
        if constexpr (std::ranges::contiguous_range<const Bytes> && std::ranges::sized_range<const Bytes>) {
            return write(std::as_bytes(std::span(std::ranges::data(bytes), std::ranges::size(bytes))));
        } else {
            std::vector<std::byte> copy;
            for (const auto& element : bytes) {
                copy.push_back(static_cast<std::byte>(element));
            }
            return write(std::span<const std::byte>(copy));
        }
    }

    std::int32_t rawValue_;
};

inline constexpr FileDescriptor FileDescriptor::standardInput{STDIN_FILENO};
inline constexpr FileDescriptor FileDescriptor::standardOutput{STDOUT_FILENO};
inline constexpr FileDescriptor FileDescriptor::standardError{STDERR_FILENO};

struct FileDescriptor::Pipe {
    FileDescriptor readEnd;
    FileDescriptor writeEnd;
};

}  // namespace lumenary::system

template <>
struct std::hash<lumenary::system::FileDescriptor> {
    std::size_t operator()(lumenary::system::FileDescriptor value) const noexcept {
        return std::hash<std::int32_t>{}(value.rawValue());
    }
};
