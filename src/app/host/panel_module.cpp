#include "app/host/panel_module.hpp"

#include <dlfcn.h>

#include <filesystem>

#include "platform/program/running_executable_path.hpp"

namespace lumenary::app {

namespace {

// The loader's reasons begin with the file's path.
PanelModuleUnavailable unavailable(const std::string& path, const char* reason) {
    return {"the panel module could not be loaded: " + (reason != nullptr ? reason : path + ": no reason given")};
}

}  // namespace

PanelModule::Loaded PanelModule::load(const std::string& path) {
    // Binding every symbol now turns a module built for another program
    // into a refusal here rather than a crash when the panel first calls
    // into the core. Local binding keeps Qt's symbols out of the scope the
    // program's later loads search.
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        return unavailable(path, ::dlerror());
    }
    // The one sanctioned cast from a symbol's address to a function pointer.
    auto entry = reinterpret_cast<PanelModuleEntry>(::dlsym(module, panelModuleEntryName));
    if (entry == nullptr) {
        auto refusal = unavailable(path, ::dlerror());
        ::dlclose(module);
        return refusal;
    }
    return PanelModule(entry);
}

PanelModule::Loaded PanelModule::loadBesideExecutable() {
    const auto running = platform::runningExecutablePath();
    std::filesystem::path executable;
    if (const auto* path = std::get_if<std::string>(&running)) {
        executable = *path;
    } else {
        // The program was rebuilt while it runs: the module beside it is
        // the rebuilt one, and binding its symbols now tells whether it
        // still fits.
        const auto& stale = std::get<platform::StaleExecutablePath>(running);
        if (stale.reportedPath.empty()) {
            return PanelModuleUnavailable{"the panel module could not be found: " + stale.description};
        }
        executable = stale.reportedPath;
    }
    return load((executable.parent_path() / panelModuleFileName).string());
}

int PanelModule::run(int& argc, char** argv, asio::io_context& context, PanelServices services,
                     std::function<void()> requestStop) const {
    return entry_(argc, argv, context, std::move(services), std::move(requestStop));
}

}  // namespace lumenary::app
