// A module with the panel's entry that needs a symbol no program defines,
// as a module built for another version of the program would: opened lazily
// it would load and crash on its first call.
#include "app/host/panel_module_entry.hpp"

extern "C" int lumenary_symbol_no_program_defines();

extern "C" int lumenary_run_panel(int& /*argc*/, char** /*argv*/, asio::io_context& /*context*/,
                                  lumenary::app::PanelServices /*services*/, std::function<void()> /*requestStop*/) {
    return lumenary_symbol_no_program_defines();
}
