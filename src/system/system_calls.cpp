#include "system/system_calls.hpp"

#include <fcntl.h>
#include <unistd.h>

namespace lumenary::system {

namespace {

thread_local const SystemCalls* callsInForce = nullptr;

int openFile(const char* path, int flags, bool hasMode, mode_t mode) {
    return hasMode ? ::open(path, flags, mode) : ::open(path, flags);
}

}  // namespace

const SystemCalls& SystemCalls::platform() {
    static const SystemCalls calls{
        .open = openFile,
        .close = ::close,
        .read = ::read,
        .pread = ::pread,
        .write = ::write,
        .pwrite = ::pwrite,
        .lseek = ::lseek,
        .dup = ::dup,
        .dup2 = ::dup2,
        .pipe = ::pipe,
        .ftruncate = ::ftruncate,
    };
    return calls;
}

const SystemCalls& SystemCalls::current() {
    return callsInForce != nullptr ? *callsInForce : platform();
}

ScopedSystemCalls::ScopedSystemCalls(const SystemCalls& calls) noexcept : previous_(callsInForce) {
    callsInForce = &calls;
}

ScopedSystemCalls::~ScopedSystemCalls() { callsInForce = previous_; }

}  // namespace lumenary::system
