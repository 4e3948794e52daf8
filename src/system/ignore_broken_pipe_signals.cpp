#include "system/ignore_broken_pipe_signals.hpp"

#include <csignal>
#include <mutex>

namespace lumenary::system {

void ignoreBrokenPipeSignals() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

}  // namespace lumenary::system
