#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>

namespace lumenary::system {

// The C library calls under FileDescriptor, as one replaceable table: tests
// script partial writes, runs of EINTR and writes that take nothing without
// a real file that behaves so. A failing entry sets errno and returns -1,
// like the call it stands for.
struct SystemCalls {
    // `mode` is passed only when `hasMode` (the two-argument open otherwise).
    std::function<int(const char* path, int flags, bool hasMode, mode_t mode)> open;
    std::function<int(int descriptor)> close;
    std::function<ssize_t(int descriptor, void* buffer, std::size_t count)> read;
    std::function<ssize_t(int descriptor, void* buffer, std::size_t count, off_t offset)> pread;
    std::function<ssize_t(int descriptor, const void* buffer, std::size_t count)> write;
    std::function<ssize_t(int descriptor, const void* buffer, std::size_t count, off_t offset)> pwrite;
    std::function<off_t(int descriptor, off_t offset, int whence)> lseek;
    std::function<int(int descriptor)> dup;
    std::function<int(int descriptor, int target)> dup2;
    std::function<int(int ends[2])> pipe;
    std::function<int(int descriptor, off_t length)> ftruncate;

    // The C library's own calls.
    static const SystemCalls& platform();
    // The table in force on the calling thread: the platform's unless a
    // ScopedSystemCalls on this thread says otherwise.
    static const SystemCalls& current();
};

// Puts `calls` in force on the calling thread for its lifetime; other
// threads keep the platform's calls. Nests.
class ScopedSystemCalls {
public:
    explicit ScopedSystemCalls(const SystemCalls& calls) noexcept;
    ~ScopedSystemCalls();
    ScopedSystemCalls(const ScopedSystemCalls&) = delete;
    ScopedSystemCalls& operator=(const ScopedSystemCalls&) = delete;

private:
    const SystemCalls* previous_;
};

}  // namespace lumenary::system
