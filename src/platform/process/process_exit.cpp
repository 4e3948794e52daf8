#include "platform/process/process_exit.hpp"

#include <string.h>
#include <sys/wait.h>

namespace lumenary::platform {

ProcessExit ProcessExit::fromWaitStatus(int status) {
    if (WIFSIGNALED(status)) {
        return {Kind::killedBySignal, 0, WTERMSIG(status)};
    }
    return {Kind::exited, WEXITSTATUS(status), 0};
}

std::string ProcessExit::description() const {
    if (kind == Kind::killedBySignal) {
        const char* name = ::sigabbrev_np(signalNumber);
        return "it was killed by signal " + std::to_string(signalNumber) +
               (name != nullptr ? std::string(" (SIG") + name + ")" : std::string());
    }
    return "it exited with status " + std::to_string(exitStatus);
}

}  // namespace lumenary::platform
