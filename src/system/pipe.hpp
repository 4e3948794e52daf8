#pragma once

#include "system/owned_descriptor.hpp"

namespace lumenary::system {

// Both ends of one pipe. They are opened close-on-exec, so a child gets an
// end only where it is joined to one of its streams on purpose.
struct Pipe {
    OwnedDescriptor readEnd;
    OwnedDescriptor writeEnd;
};

// Opens `pipe`'s two ends. Returns 0, or the errno of the failure.
int openPipe(Pipe& pipe);

// Makes reads and writes on `descriptor` return EAGAIN rather than wait.
// Set it on our own end of a pipe only: the flag would follow the other end
// into the child, which expects to block. Returns 0, or the errno.
int makeNonBlocking(int descriptor);

}  // namespace lumenary::system
