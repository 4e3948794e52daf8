#pragma once

#include <fcntl.h>

#include <cstdint>
#include <functional>
#include <string>

#include "system/option_set.hpp"

namespace lumenary::system {

// The option part of the open flags, with this system's values. There are no
// shared-lock, exclusive-lock, symbolic-link or event-only members: this
// system has no atomic form of any of them.
class OpenOptions : public OptionSet<OpenOptions, std::int32_t> {
public:
    using OptionSet::OptionSet;

    // "[.create, .truncate]"; `directory` and every other bit show as the
    // leftover "OpenOptions(rawValue: N)".
    std::string description() const;
    std::string debugDescription() const { return description(); }

    static const OpenOptions nonBlocking;
    static const OpenOptions append;
    static const OpenOptions create;
    static const OpenOptions truncate;
    static const OpenOptions exclusiveCreate;
    static const OpenOptions noFollow;
    static const OpenOptions closeOnExec;
    static const OpenOptions directory;
};

inline constexpr OpenOptions OpenOptions::nonBlocking{O_NONBLOCK};
inline constexpr OpenOptions OpenOptions::append{O_APPEND};
inline constexpr OpenOptions OpenOptions::create{O_CREAT};
inline constexpr OpenOptions OpenOptions::truncate{O_TRUNC};
inline constexpr OpenOptions OpenOptions::exclusiveCreate{O_EXCL};
inline constexpr OpenOptions OpenOptions::noFollow{O_NOFOLLOW};
inline constexpr OpenOptions OpenOptions::closeOnExec{O_CLOEXEC};
inline constexpr OpenOptions OpenOptions::directory{O_DIRECTORY};

}  // namespace lumenary::system
