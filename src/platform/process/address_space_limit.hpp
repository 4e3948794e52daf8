#pragma once

#include <cstdint>

namespace lumenary::platform {

// Caps this process's address space at `bytes`, so that a hostile file that
// asks a library for more memory meets a failed allocation (an error answer)
// instead of the machine's memory. Does nothing under AddressSanitizer,
// which reserves terabytes of address space up front.
void limitAddressSpace(std::uint64_t bytes);

}  // namespace lumenary::platform
