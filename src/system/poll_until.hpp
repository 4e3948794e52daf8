#pragma once

#include <poll.h>

#include <chrono>
#include <cstddef>

namespace lumenary::system {

// poll() that waits until `deadline` rather than for a span, retrying
// through interrupting signals. time_point::max() waits without end.
// Returns how many entries are ready (0 when the deadline passed), or -1
// with errno set.
int pollUntil(pollfd* entries, std::size_t count, std::chrono::steady_clock::time_point deadline);

}  // namespace lumenary::system
