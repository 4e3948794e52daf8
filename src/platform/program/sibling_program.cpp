#include "platform/program/sibling_program.hpp"

#include <filesystem>
#include <variant>

#include "platform/program/running_executable_path.hpp"

namespace lumenary::platform {

std::string siblingProgramPath(std::string_view name) {
    const auto running = runningExecutablePath();
    const std::string& path = std::holds_alternative<std::string>(running)
                                  ? std::get<std::string>(running)
                                  : std::get<StaleExecutablePath>(running).reportedPath;
    return (std::filesystem::path(path).parent_path() / name).string();
}

}  // namespace lumenary::platform
