#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// Why a bounded read gave no bytes, for a caller that answers some reasons
// its own way (a missing file, say). `errorNumber` is the errno of the open
// or read that failed, 0 for the other reasons.
struct BoundedReadFailure {
    enum class Reason { cannotOpen, cannotRead, notRegularFile, tooLarge };
    Reason reason;
    int errorNumber = 0;
};

// The bytes of one regular file of at most `maximumBytes`, or why not. The
// file is opened without blocking and read only when it is a regular file,
// so a named pipe or a device never stalls the reader.
std::variant<std::string, BoundedReadFailure> readBoundedBytes(const std::filesystem::path& path,
                                                               std::uintmax_t maximumBytes);

// readBoundedBytes into a vector, for a library that takes its bytes in one
// (a copy of a large file would double the memory it takes while loading).
std::variant<std::vector<char>, BoundedReadFailure> readBoundedByteVector(const std::filesystem::path& path,
                                                                          std::uintmax_t maximumBytes);

// readBoundedBytes with its failure as a PlatformError of `domain`, code
// 500, naming the path.
PlatformOutcome<std::string> readBoundedFile(const std::filesystem::path& path, std::uintmax_t maximumBytes,
                                             const std::string& domain);

}  // namespace lumenary::platform
