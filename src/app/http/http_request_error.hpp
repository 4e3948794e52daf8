#pragma once

#include <string>

namespace lumenary::http {

// Why a request was refused before it was complete, as the status to answer.
struct HTTPRequestError {
    int status;
    std::string statusText;
    // What was wrong, for the response body and the console.
    std::string reason;

    friend bool operator==(const HTTPRequestError&, const HTTPRequestError&) = default;
};

}  // namespace lumenary::http
