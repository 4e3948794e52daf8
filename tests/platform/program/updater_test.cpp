#include "platform/program/updater.hpp"

#include <gtest/gtest.h>

#include "platform/program/program_version.hpp"

namespace lumenary::platform {
namespace {

TEST(Updater, NamesTheBuiltVersionAndWhereANewOneComesFromWithoutClaimingItIsCurrent) {
    const Updater updater;
    ASSERT_FALSE(programVersion().empty());
    EXPECT_EQ(updater.versionText(), "v" + programVersion());
    EXPECT_EQ(updater.checkForUpdatesMessage(),
              "当前版本 v" + programVersion() + "。此版本不会联网检查更新，请用安装它的方式获取新版本。");
}

}  // namespace
}  // namespace lumenary::platform
