#include "app/host/run_mode.hpp"

#include <unistd.h>

#include "app/host/local_endpoint.hpp"
#include "app/host/local_server_probe.hpp"
#include "app/host/stdio_proxy.hpp"

namespace lumenary::app {

RunMode decideRunMode(const platform::DefaultsStore& defaults) {
    return decideRunMode(::isatty(STDIN_FILENO) != 0, ::isatty(STDOUT_FILENO) != 0,
                         [&defaults] { return probeLocalServer(defaults); });
}

RunMode decideRunMode(bool inputIsTerminal, bool outputIsTerminal, const std::function<bool()>& probe) {
    if (inputIsTerminal || outputIsTerminal) {
        return RunMode::menuBar;
    }
    return probe() ? RunMode::stdioProxy : RunMode::menuBar;
}

int runStdioProxy(const platform::DefaultsStore& defaults) {
    StdioProxy proxy(configuredServerPort(defaults));
    proxy.run();
    return 0;
}

}  // namespace lumenary::app
