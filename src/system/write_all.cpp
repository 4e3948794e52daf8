#include "system/write_all.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "system/system_calls.hpp"

namespace lumenary::system {

int writeAll(int descriptor, std::string_view bytes) {
    const auto& calls = SystemCalls::current();
    while (!bytes.empty()) {
        const ssize_t written = calls.write(descriptor, bytes.data(), bytes.size());
        if (written == 0) {
            // Taking nothing of a non-empty remainder would repeat for ever.
            return EIO;
        }
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return errno;
        }
        pollfd entry{descriptor, POLLOUT, 0};
        while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
        }
    }
    return 0;
}

}  // namespace lumenary::system
