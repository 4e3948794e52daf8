#include "platform/desktop/borrowed_key_record.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <fstream>

#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"
#include "system/owned_descriptor.hpp"

namespace lumenary::platform {
namespace {

namespace fs = std::filesystem;
using lumenary::testing::ScopedEnvironment;
using lumenary::testing::TemporaryDirectory;

BorrowedKeyRecord openRecord(const fs::path& file) {
    auto opened = BorrowedKeyRecord::open(file);
    if (auto* problem = std::get_if<std::string>(&opened)) {
        ADD_FAILURE() << *problem;
    }
    return std::get<BorrowedKeyRecord>(std::move(opened));
}

TEST(BorrowedKeyRecord, TheFolderIsOneOnlyThisUserMayUse) {
    struct Case {
        const char* name;
        // Makes what stands at <runtime>/lumenary before the call.
        void (*prepare)(const fs::path& folder);
        bool serves;
    };
    const Case cases[] = {
        {"missing: made private", [](const fs::path&) {}, true},
        {"private already", [](const fs::path& folder) { fs::create_directory(folder); ::chmod(folder.c_str(), 0700); },
         true},
        {"open to others", [](const fs::path& folder) { fs::create_directory(folder); ::chmod(folder.c_str(), 0755); },
         false},
        {"a file", [](const fs::path& folder) { std::ofstream(folder) << "x"; }, false},
        {"a link to a private folder",
         [](const fs::path& folder) {
             fs::create_directory(folder.string() + "-target");
             ::chmod((folder.string() + "-target").c_str(), 0700);
             fs::create_directory_symlink(folder.string() + "-target", folder);
         },
         false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        TemporaryDirectory runtime;
        ScopedEnvironment environment;
        environment.set("XDG_RUNTIME_DIR", runtime.path().string());
        testCase.prepare(runtime.path() / "lumenary");
        const auto folder = borrowedKeyFolder();
        ASSERT_EQ(std::holds_alternative<fs::path>(folder), testCase.serves)
            << (testCase.serves ? std::get<std::string>(folder) : std::get<fs::path>(folder).string());
        if (testCase.serves) {
            EXPECT_EQ(std::get<fs::path>(folder), runtime.path() / "lumenary");
            EXPECT_EQ(fs::status(runtime.path() / "lumenary").permissions(), fs::perms::owner_all);
        }
    }
}

TEST(BorrowedKeyRecord, WhatIsSavedReadsBackAndLinesThatDoNotReadAreLeftOut) {
    TemporaryDirectory folder;
    const auto file = folder.path() / "borrowed-keys-_0";
    std::ofstream(file) << "8 4242 1234567 1000436 1000448\n"
                           "not a key\n"
                           "7 4242 1 61 61\n"
                           "256 4242 1 61 61\n"
                           "9 0 1 61 61\n"
                           "10 4242 1 61\n"
                           "11 4242 1 61 61 61\n"
                           "255 77 99 20ac e9";
    const std::vector<RecordedKey> expected{
        {.code = 8, .symbols = {0x1000436, 0x1000448}, .owner = {.pid = 4242, .startTime = 1234567}},
        {.code = 255, .symbols = {0x20ac, 0xe9}, .owner = {.pid = 77, .startTime = 99}},
    };
    {
        auto record = openRecord(file);
        EXPECT_EQ(record.keys, expected);
        record.keys.push_back({.code = 93, .symbols = {0x1F600, 0x1F600}, .owner = {.pid = 5, .startTime = 6}});
        EXPECT_EQ(record.save(), std::nullopt);
    }
    {
        auto record = openRecord(file);
        ASSERT_EQ(record.keys.size(), 3U);
        EXPECT_EQ(record.keys.back().symbols[0], 0x1F600U);
        record.keys.clear();
        EXPECT_EQ(record.save(), std::nullopt);
    }
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(openRecord(file).keys.empty());
}

TEST(BorrowedKeyRecord, AnOpenRecordHoldsItsLockAgainstEveryOtherOpening) {
    TemporaryDirectory folder;
    const auto file = folder.path() / "borrowed-keys-_0";
    const auto lockFile = folder.path() / "borrowed-keys-_0.lock";
    const auto lockTakenElsewhere = [&lockFile] {
        system::OwnedDescriptor other(::open(lockFile.c_str(), O_RDWR | O_CLOEXEC));
        return other.isOpen() && ::flock(other.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    };
    {
        const auto record = openRecord(file);
        EXPECT_TRUE(lockTakenElsewhere());
    }
    EXPECT_FALSE(lockTakenElsewhere());
}

}  // namespace
}  // namespace lumenary::platform
