#pragma once

#include <functional>

#include "platform/defaults/defaults_store.hpp"

namespace lumenary::app {

enum class RunMode {
    // The full application: panel, stdio server and HTTP endpoint.
    menuBar,
    // A relay between the client's pipes and the instance already serving.
    stdioProxy,
};

// The stdio proxy when neither standard input nor standard output is a
// terminal and an instance answers the probe on the configured port;
// otherwise the menu-bar application.
RunMode decideRunMode(const platform::DefaultsStore& defaults);
// The same decision with the terminal checks and the probe given; the probe
// runs only when both streams are not terminals.
RunMode decideRunMode(bool inputIsTerminal, bool outputIsTerminal, const std::function<bool()>& probe);

// Relays this process's standard input and output to the instance on the
// configured port until the input ends. Returns the exit status for the
// process, which is 0 whatever the relay met: a client reads its answers
// from the relay's output, not from the status.
int runStdioProxy(const platform::DefaultsStore& defaults);

}  // namespace lumenary::app
