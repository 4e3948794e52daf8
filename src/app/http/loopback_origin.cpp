#include "app/http/loopback_origin.hpp"

#include <algorithm>
#include <array>
#include <cctype>

namespace lumenary::http {

namespace {

bool equalsIgnoringCase(std::string_view left, std::string_view right) {
    return left.size() == right.size() && std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

bool isLoopbackName(std::string_view host) {
    constexpr std::array<std::string_view, 3> names{"localhost", "127.0.0.1", "[::1]"};
    return std::any_of(names.begin(), names.end(),
                       [&](std::string_view name) { return equalsIgnoringCase(host, name); });
}

bool isPort(std::string_view text) {
    return text.size() <= 5 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool isLoopbackHost(std::string_view authority) {
    // An IPv6 literal holds colons of its own; its port follows the bracket.
    const std::size_t hostEnd = authority.starts_with('[') ? authority.find(']') + 1 : authority.find(':');
    if (hostEnd == 0) {
        return false;
    }
    const std::string_view host = authority.substr(0, hostEnd);
    std::string_view rest = hostEnd >= authority.size() ? std::string_view() : authority.substr(hostEnd);
    if (!rest.empty()) {
        if (rest.front() != ':') {
            return false;
        }
        rest.remove_prefix(1);
    }
    return isLoopbackName(host) && isPort(rest);
}

bool isLoopbackOrigin(std::string_view origin) {
    const std::size_t schemeEnd = origin.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0) {
        return false;
    }
    return isLoopbackHost(origin.substr(schemeEnd + 3));
}

}  // namespace lumenary::http
