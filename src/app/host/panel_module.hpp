#pragma once

#include <functional>
#include <string>
#include <variant>

#include <asio/io_context.hpp>

#include "app/host/panel_module_entry.hpp"
#include "app/host/panel_services.hpp"

namespace lumenary::app {

// Why the panel module cannot run, in words for the console: which file,
// and what the system said.
struct PanelModuleUnavailable {
    std::string description;
};

// The panel, opened from its module only when it is to show. Mapping the UI
// framework costs more than the rest of start-up together, and a run
// without a display, or as a proxy, never needs it.
//
// Every symbol the module names is bound when it opens, so a module that
// does not fit the program is refused here, never half-way through a run.
// An opened module stays mapped for the process's life: handlers queued on
// the main context may hold its code until the context goes at exit.
class PanelModule {
public:
    using Loaded = std::variant<PanelModule, PanelModuleUnavailable>;

    // Opens the module file at `path` and finds its entry.
    static Loaded load(const std::string& path);
    // The module beside the running executable, as the build places it.
    static Loaded loadBesideExecutable();

    // Runs the program with its panel; see lumenary_run_panel.
    int run(int& argc, char** argv, asio::io_context& context, PanelServices services,
            std::function<void()> requestStop) const;

private:
    explicit PanelModule(PanelModuleEntry entry) : entry_(entry) {}

    PanelModuleEntry entry_;
};

}  // namespace lumenary::app
