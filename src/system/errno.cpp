#include "system/errno.hpp"

#include <cstring>

#include "system/utf8.hpp"

namespace lumenary::system {

std::string Errno::description() const {
    char buffer[256];
    // The GNU form: it returns the text, which may be a static string rather
    // than the buffer.
    const char* text = ::strerror_r(rawValue_, buffer, sizeof buffer);
    if (text == nullptr) {
        return "unknown error";
    }
    return repairUTF8(text);
}

}  // namespace lumenary::system
