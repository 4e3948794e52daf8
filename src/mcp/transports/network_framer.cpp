#include "mcp/transports/network_framer.hpp"

#include <cstring>
#include <utility>

namespace lumenary::mcp {

namespace {

constexpr char frameDelimiter = '\n';

}  // namespace

void NetworkFramer::feed(std::string_view bytes, std::vector<Frame>& frames) {
    while (!bytes.empty()) {
        const bool atMessageStart = line_.empty() && !discarding_;
        if (atMessageStart &&
            (!heartbeat_.empty() || static_cast<unsigned char>(bytes.front()) == NetworkHeartbeat::magic[0])) {
            bytes.remove_prefix(feedHeartbeat(bytes, frames));
            continue;
        }
        const auto* found = static_cast<const char*>(std::memchr(bytes.data(), frameDelimiter, bytes.size()));
        const std::size_t length = found ? static_cast<std::size_t>(found - bytes.data()) : bytes.size();
        if (discarding_) {
            // Dropped unread.
        } else if (line_.size() + length > maximumLineLength_) {
            frames.emplace_back(DiscardedLine{maximumLineLength_ + 1});
            line_ = std::string();
            discarding_ = true;
        } else if (found && line_.empty()) {
            // The whole line is in this read: one copy, straight out.
            if (length > 0) {
                frames.emplace_back(std::string(bytes.substr(0, length)));
            }
        } else {
            line_.append(bytes.substr(0, length));
        }
        if (!found) {
            return;
        }
        endLine(frames);
        bytes.remove_prefix(length + 1);
    }
}

std::size_t NetworkFramer::feedHeartbeat(std::string_view bytes, std::vector<Frame>& frames) {
    std::size_t used = 0;
    while (heartbeat_.size() < NetworkHeartbeat::size && used < bytes.size()) {
        const std::size_t position = heartbeat_.size();
        const auto byte = static_cast<unsigned char>(bytes[used]);
        if (position < NetworkHeartbeat::magic.size() && byte != NetworkHeartbeat::magic[position]) {
            // Not a heartbeat after all: what was held begins a message, and
            // none of it is a 0x0A.
            line_ = std::exchange(heartbeat_, std::string());
            return used;
        }
        heartbeat_.push_back(static_cast<char>(byte));
        ++used;
    }
    if (heartbeat_.size() == NetworkHeartbeat::size) {
        frames.emplace_back(*NetworkHeartbeat::from(heartbeat_));
        heartbeat_.clear();
    }
    return used;
}

void NetworkFramer::endLine(std::vector<Frame>& frames) {
    if (discarding_) {
        discarding_ = false;
        return;
    }
    if (!line_.empty()) {
        frames.emplace_back(std::exchange(line_, std::string()));
    }
}

void NetworkFramer::appendMessage(std::string& out, std::string_view message) {
    out.reserve(out.size() + message.size() + 1);
    out.append(message);
    out.push_back(frameDelimiter);
}

}  // namespace lumenary::mcp
