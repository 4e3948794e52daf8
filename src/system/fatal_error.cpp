#include "system/fatal_error.hpp"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace lumenary::system {

void fatalError(std::string_view message) {
    std::string line = "Fatal error: ";
    line.append(message).push_back('\n');
    // One write, no buffering: the process is about to abort.
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
    std::abort();
}

}  // namespace lumenary::system
