#include "system/file_permissions.hpp"

#include <array>

namespace lumenary::system {

namespace {

// The order the description tries the masks in.
constexpr std::array<NamedOptionMask, 24> permissionMasks{{
    {FilePermissions::ownerReadWriteExecute.rawValue(), ".ownerReadWriteExecute"},
    {FilePermissions::ownerReadWrite.rawValue(), ".ownerReadWrite"},
    {FilePermissions::ownerReadExecute.rawValue(), ".ownerReadExecute"},
    {FilePermissions::ownerWriteExecute.rawValue(), ".ownerWriteExecute"},
    {FilePermissions::ownerRead.rawValue(), ".ownerRead"},
    {FilePermissions::ownerWrite.rawValue(), ".ownerWrite"},
    {FilePermissions::ownerExecute.rawValue(), ".ownerExecute"},
    {FilePermissions::groupReadWriteExecute.rawValue(), ".groupReadWriteExecute"},
    {FilePermissions::groupReadWrite.rawValue(), ".groupReadWrite"},
    {FilePermissions::groupReadExecute.rawValue(), ".groupReadExecute"},
    {FilePermissions::groupWriteExecute.rawValue(), ".groupWriteExecute"},
    {FilePermissions::groupRead.rawValue(), ".groupRead"},
    {FilePermissions::groupWrite.rawValue(), ".groupWrite"},
    {FilePermissions::groupExecute.rawValue(), ".groupExecute"},
    {FilePermissions::otherReadWriteExecute.rawValue(), ".otherReadWriteExecute"},
    {FilePermissions::otherReadWrite.rawValue(), ".otherReadWrite"},
    {FilePermissions::otherReadExecute.rawValue(), ".otherReadExecute"},
    {FilePermissions::otherWriteExecute.rawValue(), ".otherWriteExecute"},
    {FilePermissions::otherRead.rawValue(), ".otherRead"},
    {FilePermissions::otherWrite.rawValue(), ".otherWrite"},
    {FilePermissions::otherExecute.rawValue(), ".otherExecute"},
    {FilePermissions::setUserID.rawValue(), ".setUserID"},
    {FilePermissions::setGroupID.rawValue(), ".setGroupID"},
    {FilePermissions::saveText.rawValue(), ".saveText"},
}};

}  // namespace

std::string FilePermissions::description() const {
    return describeOptionBits(rawValue(), permissionMasks, "FilePermissions");
}

}  // namespace lumenary::system
