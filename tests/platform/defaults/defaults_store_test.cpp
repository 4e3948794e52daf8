#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>

#include "mcp/core/json.hpp"
#include "platform/defaults/file_defaults_store.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform {
namespace {

using mcp::Value;
using namespace std::chrono_literals;

std::string readStoreFile(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeStoreFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

std::vector<std::filesystem::path> corruptCopies(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> copies;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("defaults.json.corrupt-")) {
            copies.push_back(entry.path());
        }
    }
    return copies;
}

TEST(DefaultsStoreCoercion, ReadsBooleansAndIntegersTheWayTheStoreDoes) {
    struct Case {
        Value stored;
        bool boolean;
        std::int64_t integer;
    };
    const std::vector<Case> cases = {
        {true, true, 1},
        {false, false, 0},
        {Value(0), false, 0},
        {Value(7), true, 7},
        {2.9, true, 2},
        {-2.9, true, -2},
        {1e300, true, 0},
        {"YES", true, 0},
        {"yes", true, 0},
        {"true", true, 0},
        {"1", true, 1},
        {"12abc", true, 12},
        {"  -3", true, -3},
        {"NO", false, 0},
        {"", false, 0},
        {nullptr, false, 0},
        {Value::array({}), false, 0},
    };
    for (const auto& c : cases) {
        MemoryDefaultsStore store;
        store.set("key", c.stored);
        EXPECT_EQ(store.boolean("key"), c.boolean) << c.stored.description();
        EXPECT_EQ(store.integer("key"), c.integer) << c.stored.description();
    }
    MemoryDefaultsStore empty;
    EXPECT_FALSE(empty.boolean("absent"));
    EXPECT_EQ(empty.integer("absent"), 0);
}

TEST(DefaultsStoreData, KeepsTextReadableAndOtherBytesIntact) {
    MemoryDefaultsStore store;
    store.setData("text", "[1,2]");
    EXPECT_EQ(store.object("text"), Value("[1,2]"));
    const std::string binary("\xff\x00\x01", 3);
    store.setData("binary", binary);
    EXPECT_EQ(store.data("binary"), binary);
}

TEST(FileDefaultsStore, WritesSurviveTheStoreAndReachTheFileWithinTheDelay) {
    lumenary::testing::TemporaryDirectory folder;
    {
        FileDefaultsStore store(folder.path(), 20ms);
        store.setBoolean("isMapsEnabled", true);
        store.setInteger("toolCallCount", 3);
        store.remove("never-there");
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (readStoreFile(store.filePath()).find("toolCallCount") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
        }
        EXPECT_EQ(mcp::parseJSON(readStoreFile(store.filePath())),
                  Value::object({{"isMapsEnabled", true}, {"toolCallCount", 3}}));
        store.setInteger("toolCallCount", 4);
    }
    FileDefaultsStore reopened(folder.path(), 1h);
    EXPECT_EQ(reopened.integer("toolCallCount"), 4);
    EXPECT_TRUE(reopened.boolean("isMapsEnabled"));
    EXPECT_TRUE(corruptCopies(folder.path()).empty());
}

TEST(FileDefaultsStore, TwoWritersOfDifferentKeysKeepEachOthers) {
    lumenary::testing::TemporaryDirectory folder;
    FileDefaultsStore first(folder.path(), 1h);
    FileDefaultsStore second(folder.path(), 1h);
    first.setInteger("a", 1);
    second.setInteger("b", 2);
    ASSERT_TRUE(first.flush());
    ASSERT_TRUE(second.flush());
    first.remove("a");
    ASSERT_TRUE(first.flush());
    EXPECT_EQ(mcp::parseJSON(readStoreFile(first.filePath())), Value::object({{"b", 2}}));
    EXPECT_EQ(first.integer("b"), 2) << "a write picks up what the other process wrote";
}

TEST(FileDefaultsStore, AnUnreadableFileIsCopiedAsideBeforeAnythingReplacesIt) {
    for (const std::string bad : {"{not json", "[1,2,3]", "\"text\""}) {
        lumenary::testing::TemporaryDirectory folder;
        writeStoreFile(folder.path() / "defaults.json", bad);
        {
            FileDefaultsStore store(folder.path(), 1h);
            EXPECT_FALSE(store.object("anything"));
            store.setInteger("toolCallCount", 1);
            ASSERT_TRUE(store.flush());
            store.setInteger("toolCallCount", 2);
        }
        const auto copies = corruptCopies(folder.path());
        ASSERT_EQ(copies.size(), 1U) << bad << ": one copy, not one per write";
        EXPECT_EQ(readStoreFile(copies.front()), bad);
        EXPECT_EQ(mcp::parseJSON(readStoreFile(folder.path() / "defaults.json")),
                  Value::object({{"toolCallCount", 2}}));
    }
}

TEST(FileDefaultsStore, PreservingAnUnreadableValueCopiesTheFile) {
    lumenary::testing::TemporaryDirectory folder;
    writeStoreFile(folder.path() / "defaults.json", R"({"toolCallRecords":"garbage"})");
    FileDefaultsStore store(folder.path(), 1h);
    store.preserveUnreadable("toolCallRecords");
    const auto copies = corruptCopies(folder.path());
    ASSERT_EQ(copies.size(), 1U);
    EXPECT_EQ(readStoreFile(copies.front()), R"({"toolCallRecords":"garbage"})");
}

TEST(FileDefaultsStore, AFolderThatCannotBeWrittenLeavesTheValuesInMemory) {
    lumenary::testing::TemporaryDirectory folder;
    // A regular file where the folder should be: no process, root included,
    // can create the defaults under it.
    writeStoreFile(folder.path() / "blocker", "");
    FileDefaultsStore store(folder.path() / "blocker" / "lumenary", 1h);
    store.setBoolean("isCalendarEnabled", true);
    EXPECT_FALSE(store.flush());
    EXPECT_TRUE(store.boolean("isCalendarEnabled"));
    EXPECT_FALSE(store.flush()) << "the change stays pending for a later attempt";
}

TEST(FileDefaultsStore, AValueJSONCannotHoldIsRefusedAndLaterWritesGoOn) {
    lumenary::testing::TemporaryDirectory folder;
    FileDefaultsStore store(folder.path(), 1h);
    store.set("nan", std::numeric_limits<double>::quiet_NaN());
    store.set("bytes", std::string("\xff"));
    store.setInteger("toolCallCount", 1);
    ASSERT_TRUE(store.flush());
    EXPECT_FALSE(store.object("nan"));
    EXPECT_EQ(mcp::parseJSON(readStoreFile(store.filePath())), Value::object({{"toolCallCount", 1}}));
}

}  // namespace
}  // namespace lumenary::platform
