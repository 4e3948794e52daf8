#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace lumenary::http {

// One request as it arrived: method and path exactly as they stood in the
// request line (no case folding, query and fragment kept, nothing decoded),
// header names trimmed and lower-cased, values trimmed. When a name repeats,
// the later line wins; the parser refuses a repeated Origin or Host.
struct HTTPRequest {
    std::string method;
    std::string path;
    std::map<std::string, std::string, std::less<>> headers;
    std::string body;

    // The value under a lower-case name, or null.
    const std::string* header(std::string_view name) const {
        auto found = headers.find(name);
        return found == headers.end() ? nullptr : &found->second;
    }
};

}  // namespace lumenary::http
