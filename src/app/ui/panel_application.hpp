#pragma once

#include <functional>

#include <asio/io_context.hpp>

#include "app/ui/core_bridge.hpp"

namespace lumenary::app::ui {

// The program with its panel. The UI framework runs on the calling thread,
// which must be the process's main thread; the core's `context` runs on a
// thread of its own from here on. The tray icon opens the panel; without a
// tray host the panel is an ordinary window.
//
// `requestStop` starts the core's orderly stop (the "退出" menu, or the UI
// ending first); the core stops by stopping `context`, after which the UI
// quits. Returns the exit status once both have ended, the UI's objects
// gone after the core's last handler ran.
int runPanelApplication(int& argc, char** argv, asio::io_context& context, CoreBridge::Services services,
                        std::function<void()> requestStop);

}  // namespace lumenary::app::ui
