#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>

#include "system/option_set.hpp"

namespace lumenary::system {

// POSIX file mode bits (the platform's own, 0o7777), passed unchanged as the
// mode of a file-creating call. The platform's mode_t is wider; the value
// stays 16 bits.
class FilePermissions : public OptionSet<FilePermissions, std::uint16_t> {
public:
    using OptionSet::OptionSet;

    // Names every bit, widest mask of each class first:
    // "[.ownerReadWrite, .groupRead, .otherRead]" for 0o644.
    std::string description() const;
    std::string debugDescription() const { return description(); }

    // Within each class the three-bit mask, then the two-bit ones, then single bits.
    static const FilePermissions ownerReadWriteExecute;
    static const FilePermissions ownerReadWrite;
    static const FilePermissions ownerReadExecute;
    static const FilePermissions ownerWriteExecute;
    static const FilePermissions ownerRead;
    static const FilePermissions ownerWrite;
    static const FilePermissions ownerExecute;
    static const FilePermissions groupReadWriteExecute;
    static const FilePermissions groupReadWrite;
    static const FilePermissions groupReadExecute;
    static const FilePermissions groupWriteExecute;
    static const FilePermissions groupRead;
    static const FilePermissions groupWrite;
    static const FilePermissions groupExecute;
    static const FilePermissions otherReadWriteExecute;
    static const FilePermissions otherReadWrite;
    static const FilePermissions otherReadExecute;
    static const FilePermissions otherWriteExecute;
    static const FilePermissions otherRead;
    static const FilePermissions otherWrite;
    static const FilePermissions otherExecute;
    static const FilePermissions setUserID;
    static const FilePermissions setGroupID;
    static const FilePermissions saveText;
};

inline constexpr FilePermissions FilePermissions::ownerReadWriteExecute{static_cast<std::uint16_t>(S_IRWXU)};
inline constexpr FilePermissions FilePermissions::ownerReadWrite{static_cast<std::uint16_t>(S_IRUSR | S_IWUSR)};
inline constexpr FilePermissions FilePermissions::ownerReadExecute{static_cast<std::uint16_t>(S_IRUSR | S_IXUSR)};
inline constexpr FilePermissions FilePermissions::ownerWriteExecute{static_cast<std::uint16_t>(S_IWUSR | S_IXUSR)};
inline constexpr FilePermissions FilePermissions::ownerRead{static_cast<std::uint16_t>(S_IRUSR)};
inline constexpr FilePermissions FilePermissions::ownerWrite{static_cast<std::uint16_t>(S_IWUSR)};
inline constexpr FilePermissions FilePermissions::ownerExecute{static_cast<std::uint16_t>(S_IXUSR)};
inline constexpr FilePermissions FilePermissions::groupReadWriteExecute{static_cast<std::uint16_t>(S_IRWXG)};
inline constexpr FilePermissions FilePermissions::groupReadWrite{static_cast<std::uint16_t>(S_IRGRP | S_IWGRP)};
inline constexpr FilePermissions FilePermissions::groupReadExecute{static_cast<std::uint16_t>(S_IRGRP | S_IXGRP)};
inline constexpr FilePermissions FilePermissions::groupWriteExecute{static_cast<std::uint16_t>(S_IWGRP | S_IXGRP)};
inline constexpr FilePermissions FilePermissions::groupRead{static_cast<std::uint16_t>(S_IRGRP)};
inline constexpr FilePermissions FilePermissions::groupWrite{static_cast<std::uint16_t>(S_IWGRP)};
inline constexpr FilePermissions FilePermissions::groupExecute{static_cast<std::uint16_t>(S_IXGRP)};
inline constexpr FilePermissions FilePermissions::otherReadWriteExecute{static_cast<std::uint16_t>(S_IRWXO)};
inline constexpr FilePermissions FilePermissions::otherReadWrite{static_cast<std::uint16_t>(S_IROTH | S_IWOTH)};
inline constexpr FilePermissions FilePermissions::otherReadExecute{static_cast<std::uint16_t>(S_IROTH | S_IXOTH)};
inline constexpr FilePermissions FilePermissions::otherWriteExecute{static_cast<std::uint16_t>(S_IWOTH | S_IXOTH)};
inline constexpr FilePermissions FilePermissions::otherRead{static_cast<std::uint16_t>(S_IROTH)};
inline constexpr FilePermissions FilePermissions::otherWrite{static_cast<std::uint16_t>(S_IWOTH)};
inline constexpr FilePermissions FilePermissions::otherExecute{static_cast<std::uint16_t>(S_IXOTH)};
inline constexpr FilePermissions FilePermissions::setUserID{static_cast<std::uint16_t>(S_ISUID)};
inline constexpr FilePermissions FilePermissions::setGroupID{static_cast<std::uint16_t>(S_ISGID)};
inline constexpr FilePermissions FilePermissions::saveText{static_cast<std::uint16_t>(S_ISVTX)};

}  // namespace lumenary::system

template <>
struct std::hash<lumenary::system::FilePermissions> {
    std::size_t operator()(lumenary::system::FilePermissions value) const noexcept {
        return std::hash<std::uint16_t>{}(value.rawValue());
    }
};
