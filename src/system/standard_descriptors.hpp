#pragma once

namespace lumenary::system {

// Opens /dev/null on each of standard input, output and error that is
// closed. Call it first thing in main, before anything else opens a
// descriptor: whatever would otherwise land on one of the three numbers
// (the event loop's own wake-up descriptor, a socket) would be read or
// written as if it were that stream. The descriptors it opens are inherited
// by children like the streams they stand for. Gives 0, or the errno of the
// first one it could not open (the process has no sane way to go on then).
int reopenClosedStandardDescriptors();

}  // namespace lumenary::system
