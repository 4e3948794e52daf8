#include "platform/process/address_space_limit.hpp"

#include <sys/resource.h>

namespace lumenary::platform {

namespace {

bool addressSanitizerBuild() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

}  // namespace

void limitAddressSpace(std::uint64_t bytes) {
    if (addressSanitizerBuild()) {
        return;
    }
    const rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_AS, &limit);
}

}  // namespace lumenary::platform
