#include "platform/music/tags/tag_request_server.hpp"

#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "platform/music/tag_worker_protocol.hpp"
#include "system/write_all.hpp"

namespace lumenary::platform {

namespace {

// The lines of a descriptor, each at most maximumTagRequestLength long.
class RequestLines {
public:
    explicit RequestLines(int descriptor) : descriptor_(descriptor) {}

    // Absent at the end of the input, on a read error or past the bound.
    std::optional<std::string> next() {
        for (;;) {
            if (const auto newline = buffered_.find('\n'); newline != std::string::npos) {
                std::string line = buffered_.substr(0, newline);
                buffered_.erase(0, newline + 1);
                return line;
            }
            if (buffered_.size() > maximumTagRequestLength) {
                return std::nullopt;
            }
            char buffer[16 * 1024];
            const ssize_t count = ::read(descriptor_, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return std::nullopt;
            }
            buffered_.append(buffer, static_cast<std::size_t>(count));
        }
    }

private:
    int descriptor_;
    std::string buffered_;
};

}  // namespace

int serveTagRequests(int requests, int answers, AudioTagReader& reader) {
    if (system::writeAll(answers, std::string(tagWorkerGreeting) + "\n") != 0) {
        return 1;
    }
    RequestLines lines(requests);
    std::vector<std::filesystem::path> batch;
    while (auto line = lines.next()) {
        if (!line->empty()) {
            if (batch.size() == maximumTagBatchSize) {
                return 1;
            }
            batch.push_back(decodeTagRequestLine(*line));
            continue;
        }
        for (const auto& file : batch) {
            if (system::writeAll(answers, encodeTagAnswer(reader.read(file))) != 0) {
                return 1;
            }
        }
        batch.clear();
    }
    return batch.empty() ? 0 : 1;
}

}  // namespace lumenary::platform
