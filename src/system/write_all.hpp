#pragma once

#include <string_view>

namespace lumenary::system {

// Writes every byte to `descriptor`, retrying writes that a signal interrupted
// and waiting for room on a descriptor that was left non-blocking by whoever
// opened it. Returns 0, or the errno of the write that failed (EIO for a
// write that took nothing).
int writeAll(int descriptor, std::string_view bytes);

}  // namespace lumenary::system
