#pragma once

#include <unistd.h>

#include <utility>

namespace lumenary::system {

// One file descriptor, closed when its owner goes; a negative one is none.
class OwnedDescriptor {
public:
    explicit OwnedDescriptor(int descriptor) noexcept : descriptor_(descriptor) {}
    ~OwnedDescriptor() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;

    int get() const noexcept { return descriptor_; }
    // For a caller that closes it itself, to see what closing reports.
    int release() noexcept { return std::exchange(descriptor_, -1); }

private:
    int descriptor_;
};

}  // namespace lumenary::system
