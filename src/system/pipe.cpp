#include "system/pipe.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace lumenary::system {

int openPipe(Pipe& pipe) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return errno;
    }
    pipe.readEnd.reset(ends[0]);
    pipe.writeEnd.reset(ends[1]);
    return 0;
}

int makeNonBlocking(int descriptor) {
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags | O_NONBLOCK) != 0) {
        return errno;
    }
    return 0;
}

}  // namespace lumenary::system
