#pragma once

#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace lumenary::mcp {

// Where in a JSON document a reader was: object keys, and "Index N" for
// array elements.
using CodingPath = std::vector<std::string>;

std::string codingPathText(const CodingPath& path);

// A JSON text or value that does not fit the type being read.
class DecodingError : public std::exception {
public:
    enum class Kind { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };

    DecodingError(Kind kind, CodingPath codingPath, std::string description);

    Kind kind() const noexcept { return kind_; }
    const CodingPath& codingPath() const noexcept { return codingPath_; }
    // The reason alone, without the path ("Invalid JSON-RPC version").
    const std::string& description() const noexcept { return description_; }
    // The reason with the path where it arose, for logs and error replies.
    const char* what() const noexcept override { return message_.c_str(); }

private:
    Kind kind_;
    CodingPath codingPath_;
    std::string description_;
    std::string message_;
};

// A value that has no JSON form (a non-finite double, text that is not UTF-8).
class EncodingError : public std::exception {
public:
    explicit EncodingError(std::string description) : description_(std::move(description)) {}
    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::string description_;
};

}  // namespace lumenary::mcp
