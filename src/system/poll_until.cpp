#include "system/poll_until.hpp"

#include <cerrno>
#include <limits>

namespace lumenary::system {

namespace {

int timeoutUntil(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    if (deadline == steady_clock::time_point::max()) {
        return -1;
    }
    const auto left = deadline - steady_clock::now();
    if (left <= steady_clock::duration::zero()) {
        return 0;
    }
    // Rounded up: a wait that ends a fraction early would only spin once more.
    const auto milliseconds = ceil<std::chrono::milliseconds>(left).count();
    return milliseconds > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                          : static_cast<int>(milliseconds);
}

}  // namespace

int pollUntil(pollfd* entries, std::size_t count, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const int ready = ::poll(entries, static_cast<nfds_t>(count), timeoutUntil(deadline));
        if (ready == 0 && std::chrono::steady_clock::now() < deadline) {
            continue;  // a deadline beyond the longest single wait
        }
        if (ready >= 0 || errno != EINTR) {
            return ready;
        }
    }
}

}  // namespace lumenary::system
