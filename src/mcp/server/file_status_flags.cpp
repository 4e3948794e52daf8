#include "mcp/server/file_status_flags.hpp"

#include <fcntl.h>

#include <cstdlib>
#include <map>
#include <mutex>

namespace lumenary::mcp {

namespace {

// Every descriptor whose flags are recorded, for the exit handler.
struct Registry {
    std::mutex mutex;
    std::map<int, int> flagsByDescriptor;
};

Registry& registry() {
    // Never destroyed: the exit handler may run after static destructors.
    static Registry* instance = [] {
        auto* created = new Registry;
        std::atexit([] {
            auto& entries = registry();
            std::lock_guard lock(entries.mutex);
            for (const auto& [descriptor, flags] : entries.flagsByDescriptor) {
                ::fcntl(descriptor, F_SETFL, flags);
            }
        });
        return created;
    }();
    return *instance;
}

}  // namespace

bool SavedFileStatusFlags::save(int descriptor) {
    restore();
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0) {
        return false;
    }
    descriptor_ = descriptor;
    flags_ = flags;
    auto& entries = registry();
    std::lock_guard lock(entries.mutex);
    // The first record of a descriptor holds its flags from before any
    // transport touched it.
    entries.flagsByDescriptor.emplace(descriptor, flags);
    return true;
}

void SavedFileStatusFlags::restore() {
    if (descriptor_ < 0) {
        return;
    }
    ::fcntl(descriptor_, F_SETFL, flags_);
    {
        auto& entries = registry();
        std::lock_guard lock(entries.mutex);
        entries.flagsByDescriptor.erase(descriptor_);
    }
    descriptor_ = -1;
}

}  // namespace lumenary::mcp
