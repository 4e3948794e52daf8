#pragma once

namespace lumenary::mcp {

// Non-blocking mode is a flag of the open file, shared with every process
// and descriptor that uses it: the parent's terminal, a logger on standard
// error. A transport records the flags before it touches a descriptor and
// puts them back when it lets go, and, should the process end first, at exit.
class SavedFileStatusFlags {
public:
    // Records the current flags of `descriptor`; false (errno set) when they
    // cannot be read.
    bool save(int descriptor);
    // Puts the recorded flags back; does nothing when none are recorded.
    void restore();

    SavedFileStatusFlags() = default;
    SavedFileStatusFlags(const SavedFileStatusFlags&) = delete;
    SavedFileStatusFlags& operator=(const SavedFileStatusFlags&) = delete;
    ~SavedFileStatusFlags() { restore(); }

private:
    int descriptor_ = -1;
    int flags_ = 0;
};

}  // namespace lumenary::mcp
