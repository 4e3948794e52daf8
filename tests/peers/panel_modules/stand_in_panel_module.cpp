// A panel module that fits the program but shows nothing: it asks the core
// to stop and answers with a status made from the arguments it was given,
// so a test sees that the entry was found and called as the program calls it.
#include "app/host/panel_module_entry.hpp"

extern "C" int lumenary_run_panel(int& argc, char** /*argv*/, asio::io_context& /*context*/,
                                  lumenary::app::PanelServices /*services*/, std::function<void()> requestStop) {
    requestStop();
    return 40 + argc;
}
