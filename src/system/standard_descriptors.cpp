#include "system/standard_descriptors.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace lumenary::system {

int reopenClosedStandardDescriptors() {
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(stream, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // The lowest free number is the closed stream's own, as every lower
        // one is open by now. Not close-on-exec: it is a standard stream.
        const int opened = ::open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened < 0) {
            return errno;
        }
        if (opened != stream) {
            ::close(opened);
            return EBADF;
        }
    }
    return 0;
}

}  // namespace lumenary::system
