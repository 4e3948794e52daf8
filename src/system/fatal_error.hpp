#pragma once

#include <string_view>

namespace lumenary::system {

// Stops the process for a broken precondition (a caller's programming error,
// never outside input): "Fatal error: <message>" goes to standard error in
// one write, then the process aborts.
[[noreturn]] void fatalError(std::string_view message);

}  // namespace lumenary::system
