#include "platform/process/process_exit.hpp"

#include <sys/wait.h>

namespace lumenary::platform {

ProcessExit ProcessExit::fromWaitStatus(int status) {
    if (WIFSIGNALED(status)) {
        return {Kind::killedBySignal, 0, WTERMSIG(status)};
    }
    return {Kind::exited, WEXITSTATUS(status), 0};
}

}  // namespace lumenary::platform
