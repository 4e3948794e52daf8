#pragma once

#include <unistd.h>

#include <utility>

namespace lumenary::system {

// One file descriptor, closed when its owner goes; a negative one is none.
// Moving hands the descriptor on and leaves none behind.
class OwnedDescriptor {
public:
    OwnedDescriptor() noexcept = default;
    explicit OwnedDescriptor(int descriptor) noexcept : descriptor_(descriptor) {}
    ~OwnedDescriptor() { reset(); }
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    OwnedDescriptor(OwnedDescriptor&& other) noexcept : descriptor_(other.release()) {}
    OwnedDescriptor& operator=(OwnedDescriptor&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    int get() const noexcept { return descriptor_; }
    bool isOpen() const noexcept { return descriptor_ >= 0; }
    // For a caller that closes it itself, to see what closing reports.
    int release() noexcept { return std::exchange(descriptor_, -1); }
    // Closes the descriptor held now and takes `descriptor` in its place.
    void reset(int descriptor = -1) noexcept {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
        descriptor_ = descriptor;
    }

private:
    int descriptor_ = -1;
};

}  // namespace lumenary::system
