#include "platform/process/server_hang_up_watch.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

namespace lumenary::platform {

int exitWhenServerHangsUp(int requestDescriptor) {
    try {
        std::thread([requestDescriptor] {
            // No events asked for: a hang-up is reported all the same, and
            // the requests waiting in the pipe stay for the main thread.
            pollfd entry{requestDescriptor, 0, 0};
            int ready;
            while ((ready = ::poll(&entry, 1, -1)) < 0 && errno == EINTR) {
            }
            // Should poll() itself fail, the worker still ends at its next
            // read from the closed pipe, as it would without the watch.
            if (ready == 1) {
                ::_exit(0);
            }
        }).detach();
    } catch (const std::system_error& error) {
        return error.code().value();
    }
    return 0;
}

}  // namespace lumenary::platform
