#include "platform/program/updater.hpp"

#include "platform/program/program_version.hpp"

namespace lumenary::platform {

std::string Updater::versionText() const {
    return "v" + programVersion();
}

std::string Updater::checkForUpdatesMessage() const {
    return "当前版本 " + versionText() + "。此版本不会联网检查更新，请用安装它的方式获取新版本。";
}

}  // namespace lumenary::platform
