#include "app/http/console.hpp"

#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace lumenary::http {

Console Console::standardError() {
    return Console([](std::string_view line) {
        static std::mutex mutex;
        std::string text(line);
        text.push_back('\n');
        std::lock_guard lock(mutex);
        std::size_t written = 0;
        while (written < text.size()) {
            const ssize_t count = ::write(STDERR_FILENO, text.data() + written, text.size() - written);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return;
            }
            written += static_cast<std::size_t>(count);
        }
    });
}

std::string_view leadingCharacters(std::string_view text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t characters = 0; end < text.size() && characters < count; ++characters) {
        ++end;
        // Continuation bytes belong to the character before them.
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    }
    return text.substr(0, end);
}

}  // namespace lumenary::http
