#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/raw_connection.hpp"

namespace lumenary::app::testing {

// What a real program under test left behind, or whether it serves.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

inline bool serves(std::uint16_t port) {
    return lumenary::testing::parseResponse(
               lumenary::testing::exchange(port, "OPTIONS /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"))
               .status == 204;
}

}  // namespace lumenary::app::testing
