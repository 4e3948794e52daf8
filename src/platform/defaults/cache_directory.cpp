#include "platform/defaults/cache_directory.hpp"

#include <cstdlib>

#include "platform/defaults/home_directory.hpp"

namespace lumenary::platform {

std::filesystem::path cacheDirectory() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    std::filesystem::path folder = cache != nullptr ? std::filesystem::path(cache) : std::filesystem::path();
    if (folder.empty() || !folder.is_absolute()) {
        folder = homeDirectory() / ".cache";
    }
    return folder / "lumenary";
}

}  // namespace lumenary::platform
