#include "app/http/loopback_origin.hpp"

#include <gtest/gtest.h>

namespace lumenary::http {
namespace {

TEST(LoopbackOrigin, AcceptsOnlyTheLoopbackHostWhole) {
    const std::vector<std::pair<std::string, bool>> origins{
        {"http://localhost", true},
        {"http://localhost:3000", true},
        {"https://127.0.0.1:8765", true},
        {"http://[::1]:8765", true},
        {"HTTP://LOCALHOST:1", true},
        {"vscode-webview://localhost", true},
        {"http://localhost.evil.example", false},
        {"http://evil.example/?localhost", false},
        {"http://127.0.0.1.evil.example", false},
        {"http://evil-127.0.0.1.example", false},
        {"http://[::1].evil", false},
        {"http://user@localhost", false},
        {"http://localhost:80a", false},
        {"http://localhost/path", false},
        {"null", false},
        {"localhost", false},
        {"", false},
    };
    for (const auto& [origin, allowed] : origins) {
        EXPECT_EQ(isLoopbackOrigin(origin), allowed) << origin;
    }
}

TEST(LoopbackOrigin, AcceptsHostHeadersThatNameTheLoopbackHost) {
    const std::vector<std::pair<std::string, bool>> hosts{
        {"localhost", true},       {"localhost:8765", true},
        {"127.0.0.1:8765", true},  {"[::1]:8765", true},
        {"[::1]", true},           {"evil.example:8765", false},
        {"localhost.evil", false}, {"[::1", false},
        {"127.0.0.1:", true},      {"", false},
    };
    for (const auto& [host, allowed] : hosts) {
        EXPECT_EQ(isLoopbackHost(host), allowed) << host;
    }
}

}  // namespace
}  // namespace lumenary::http
