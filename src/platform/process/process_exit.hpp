#pragma once

#include <string>

namespace lumenary::platform {

// How a child process ended.
struct ProcessExit {
    enum class Kind {
        // It returned or called exit: `exitStatus` holds the status it gave,
        // or -1 when something else in this process took the status first.
        exited,
        // A signal ended it: `signalNumber` names the signal.
        killedBySignal,
    };

    Kind kind = Kind::exited;
    int exitStatus = 0;
    int signalNumber = 0;

    // From a status that waitpid reported for an ended child.
    static ProcessExit fromWaitStatus(int status);

    // How it ended, for a message: "it was killed by signal 11 (SIGSEGV)",
    // "it exited with status 3".
    std::string description() const;

    bool operator==(const ProcessExit&) const = default;
};

}  // namespace lumenary::platform
