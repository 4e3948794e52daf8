#pragma once

#include <functional>

#include <asio/io_context.hpp>

#include "app/host/panel_services.hpp"

// The one entry of the panel module (lumenary-panel.so), looked up by name
// once the program has opened the module. It runs the program with its
// panel: the UI framework on the calling thread, the core's `context` on a
// thread of its own, until both have ended; the meaning of every argument
// and of the result is that of lumenary::app::ui::runPanelApplication.
//
// Unmangled, so that its name does not depend on the compiler. Every core
// symbol the module names is resolved from the program itself, which is
// why the program is linked with them all and exports them.
extern "C" int lumenary_run_panel(int& argc, char** argv, asio::io_context& context,
                                  lumenary::app::PanelServices services, std::function<void()> requestStop);

namespace lumenary::app {

using PanelModuleEntry = decltype(&lumenary_run_panel);

inline constexpr const char* panelModuleFileName = "lumenary-panel.so";
inline constexpr const char* panelModuleEntryName = "lumenary_run_panel";

}  // namespace lumenary::app
