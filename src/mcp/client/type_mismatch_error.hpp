#pragma once

#include <exception>

namespace lumenary::mcp {

// A response whose result does not read as the result type of the request
// it answers.
class TypeMismatchError : public std::exception {
public:
    const char* what() const noexcept override { return "The result does not match the request's result type"; }
};

}  // namespace lumenary::mcp
