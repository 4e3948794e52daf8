// The panel module's entry: the program opens the module only when the
// panel is to show, and this runs it as a program linked with the panel
// would.
#include "app/host/panel_module_entry.hpp"

#include "app/ui/panel_application.hpp"

extern "C" int lumenary_run_panel(int& argc, char** argv, asio::io_context& context,
                                  lumenary::app::PanelServices services, std::function<void()> requestStop) {
    return lumenary::app::ui::runPanelApplication(argc, argv, context, std::move(services), std::move(requestStop));
}
