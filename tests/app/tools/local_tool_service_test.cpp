#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "app/tools/fake_tool_category.hpp"
#include "app/tools/local_tool_service.hpp"
#include "app/tools/tool_error.hpp"
#include "app/tools/tool_outcome_text.hpp"
#include "mcp/core/json.hpp"
#include "platform/defaults/memory_defaults_store.hpp"

namespace lumenary::app {
namespace {

using testing::FakeToolCategory;

// Every category with tools named after it; "shared" is owned by both notes
// and mail, "visionOnly" only by vision.
class LocalToolServiceTest : public ::testing::Test {
protected:
    LocalToolServiceTest() {
        for (const auto& row : toolCategoryTable) {
            std::vector<std::string> names = {std::string(row.switchKey) + ".tool"};
            if (row.kind == ToolCategoryKind::notes || row.kind == ToolCategoryKind::mail) {
                names.push_back("shared");
            }
            if (row.kind == ToolCategoryKind::vision) {
                names.push_back("visionOnly");
            }
            auto fake = std::make_shared<FakeToolCategory>(names, std::vector<std::string>{"isMapsEnabled.tool"});
            fakes[static_cast<std::size_t>(row.kind)] = fake;
            categories[static_cast<std::size_t>(row.kind)] = fake;
        }
    }

    std::shared_ptr<LocalToolService> makeService() {
        return std::make_shared<LocalToolService>(io.get_executor(), defaults, categories);
    }

    // The tool's text, or "<domain> <code> <description>" of its error.
    std::string call(LocalToolService& service, std::string name, PlainDictionary arguments = {}) {
        return app::testing::toolOutcomeText(io, service.callTool(std::move(name), std::move(arguments)));
    }

    FakeToolCategory& fake(ToolCategoryKind kind) { return *fakes[static_cast<std::size_t>(kind)]; }

    asio::io_context io;
    platform::MemoryDefaultsStore defaults;
    ToolCategories categories;
    std::array<std::shared_ptr<FakeToolCategory>, toolCategoryCount> fakes;
};

std::vector<std::string> namesOf(const std::vector<MCPTool>& tools) {
    std::vector<std::string> names;
    for (const auto& tool : tools) names.push_back(tool.name);
    return names;
}

TEST_F(LocalToolServiceTest, AFreshInstallationOffersNothingButCountsEveryCall) {
    auto service = makeService();
    EXPECT_TRUE(service->catalogue().empty());
    EXPECT_EQ(call(*service, "isMacOSEnabled.tool"), "LocalTool 403 macOS Control tool is disabled");
    EXPECT_EQ(call(*service, "made-up"), "LocalTool 404 Tool not found: made-up");
    EXPECT_EQ(call(*service, "ISCALENDARENABLED.TOOL"), "LocalTool 404 Tool not found: ISCALENDARENABLED.TOOL");
    EXPECT_EQ(service->toolCallCount(), 3);
    EXPECT_EQ(defaults.integer("toolCallCount"), 3);
    EXPECT_TRUE(service->toolCallRecords().empty());
    EXPECT_EQ(defaults.data("toolCallRecords"), "[]");
}

TEST_F(LocalToolServiceTest, TheCatalogueListsMailBeforeNotesButDispatchScansNotesFirst) {
    auto service = makeService();
    for (const auto& row : toolCategoryTable) service->setEnabled(row.kind, true);
    const auto names = namesOf(service->catalogue());
    ASSERT_EQ(names.size(), 13U);
    EXPECT_EQ(names[4], "isMailEnabled.tool");
    EXPECT_EQ(names[6], "isNotesEnabled.tool");
    EXPECT_EQ(names.back(), "visionOnly");

    EXPECT_EQ(call(*service, "shared"), "shared ran");
    EXPECT_EQ(fake(ToolCategoryKind::notes).handled, std::vector<std::string>{"shared"});
    EXPECT_TRUE(fake(ToolCategoryKind::mail).handled.empty());
    const int musicBuilds = fake(ToolCategoryKind::music).listBuilds;
    EXPECT_EQ(call(*service, "isMusicEnabled.tool"), "isMusicEnabled.tool ran");
    EXPECT_EQ(fake(ToolCategoryKind::music).listBuilds, musicBuilds) << "a call builds no tool list";

    service->setNotesEnabled(false);
    EXPECT_EQ(call(*service, "shared"), "LocalTool 403 Notes tool is disabled")
        << "only the owner's switch counts, even when a later category holds the name too";
}

TEST_F(LocalToolServiceTest, AvailableToolsAreReadOnTheMainExecutorWhoeverAsks) {
    auto service = makeService();
    service->setCalendarEnabled(true);
    asio::io_context caller;
    std::optional<std::vector<std::string>> names;
    asio::co_spawn(caller, service->availableTools(),
                   [&names](std::exception_ptr, std::vector<MCPTool> tools) { names = namesOf(tools); });
    const int builds = fake(ToolCategoryKind::calendar).listBuilds;
    caller.poll();
    EXPECT_EQ(fake(ToolCategoryKind::calendar).listBuilds, builds) << "nothing is read on the caller's executor";
    io.run();
    caller.run();
    EXPECT_EQ(names, std::vector<std::string>{"isCalendarEnabled.tool"});
}

TEST_F(LocalToolServiceTest, OnlySuccessfulCallsAreRecordedAndArgumentsPassUnchanged) {
    auto service = makeService();
    service->setVisionEnabled(true);
    service->setMapsEnabled(true);
    const PlainDictionary arguments = {{"limit", 5}, {"tags", mcp::Value::array({"a", 1})}};
    EXPECT_EQ(call(*service, "visionOnly", arguments), "visionOnly ran");
    EXPECT_EQ(fake(ToolCategoryKind::vision).lastArguments, arguments);
    EXPECT_EQ(call(*service, "isMapsEnabled.tool"), "FakeTool 500 the fake tool failed");
    EXPECT_EQ(service->toolCallCount(), 2);
    ASSERT_EQ(service->toolCallRecords().size(), 1U);
    const auto& record = service->toolCallRecords().front();
    EXPECT_EQ(record.toolName, "visionOnly");
    EXPECT_EQ(record.category, "视觉识别");
    EXPECT_EQ(record.callCount, 1);
    EXPECT_LE(record.firstCallTime, record.lastCallTime);
    // Seconds since 2001, not since 1970: well under 2^31 until 2069.
    EXPECT_GT(record.firstCallTime, 7.8e8);
    EXPECT_LT(record.firstCallTime, 2.1e9);
}

TEST_F(LocalToolServiceTest, ACategoryThatThrowsIsAnsweredLikeOneThatReturnsItsError) {
    categories[static_cast<std::size_t>(ToolCategoryKind::maps)] = std::make_shared<FakeToolCategory>(
        std::vector<std::string>{"throwsToolError", "throwsOther"}, std::vector<std::string>{},
        std::vector<std::string>{"throwsToolError"}, std::vector<std::string>{"throwsOther"});
    auto service = makeService();
    service->setMapsEnabled(true);
    EXPECT_EQ(call(*service, "throwsToolError"), "FakeTool 501 the fake tool threw");
    EXPECT_EQ(call(*service, "throwsOther"), "LocalTool 500 the fake tool broke");
    EXPECT_EQ(service->toolCallCount(), 2);
    EXPECT_TRUE(service->toolCallRecords().empty());
}

TEST_F(LocalToolServiceTest, SwitchesPersistAndSignalEveryAssignment) {
    auto service = makeService();
    int events = 0;
    auto subscription = service->toolsChanged.subscribe([&events] { ++events; });
    service->setCalendarEnabled(true);
    service->setCalendarEnabled(true);
    EXPECT_EQ(events, 2);
    EXPECT_EQ(defaults.object("isCalendarEnabled"), mcp::Value(true));
    service->disableAllTools();
    EXPECT_EQ(events, 12);
    for (const auto& row : toolCategoryTable) {
        EXPECT_EQ(defaults.object(row.switchKey), mcp::Value(false)) << row.switchKey;
    }
}

TEST_F(LocalToolServiceTest, StoredSwitchesAreReadAsObjectsOrWithTheStoresCoercion) {
    defaults.set("isCalendarEnabled", "YES");  // as object: text is not a Boolean
    defaults.set("isRemindersEnabled", 1);
    defaults.set("isContactsEnabled", true);
    defaults.set("isMessagesEnabled", 2);
    defaults.set("isMusicEnabled", "YES");  // the store's coercion
    defaults.set("isMapsEnabled", "1");
    defaults.set("isMacOSEnabled", "no");
    defaults.set("toolCallCount", "41");
    auto service = makeService();
    EXPECT_FALSE(service->isCalendarEnabled());
    EXPECT_TRUE(service->isRemindersEnabled());
    EXPECT_TRUE(service->isContactsEnabled());
    EXPECT_FALSE(service->isMessagesEnabled());
    EXPECT_TRUE(service->isMusicEnabled());
    EXPECT_TRUE(service->isMapsEnabled());
    EXPECT_FALSE(service->isMacOSEnabled());
    EXPECT_EQ(service->toolCallCount(), 41);
    EXPECT_EQ(defaults.object("isCalendarEnabled"), mcp::Value("YES")) << "nothing is written back at start";
}

TEST_F(LocalToolServiceTest, RecordsSortByCallCountAndKeepTiesInOrder) {
    auto service = makeService();
    for (const auto& row : toolCategoryTable) service->setEnabled(row.kind, true);
    for (int i = 0; i < 3; ++i) {
        call(*service, "isCalendarEnabled.tool");
        call(*service, "isRemindersEnabled.tool");
    }
    auto order = [&] {
        std::vector<std::string> names;
        for (const auto& record : service->toolCallRecords()) names.push_back(record.toolName);
        return names;
    };
    for (int i = 0; i < 3; ++i) call(*service, "isContactsEnabled.tool");
    EXPECT_EQ(order(), (std::vector<std::string>{"isCalendarEnabled.tool", "isRemindersEnabled.tool",
                                                 "isContactsEnabled.tool"}));
    call(*service, "isContactsEnabled.tool");
    EXPECT_EQ(order().front(), "isContactsEnabled.tool");

    call(*service, "isMusicEnabled.tool");
    const auto summaries = service->categorySummaries();
    ASSERT_EQ(summaries.size(), 4U);
    EXPECT_EQ(summaries[0].category, "通讯录");
    EXPECT_EQ(summaries[0].totalCount, 4);
    EXPECT_EQ(summaries.back().category, "音乐");
    EXPECT_NE(summaries[0].id, service->categorySummaries()[0].id) << "summaries draw fresh ids";
}

TEST_F(LocalToolServiceTest, RecordsWrittenElsewhereReadBackAndSurviveARestart) {
    // The stored form another installation writes: lower-case ids are
    // accepted, times are seconds since 2001 with a fraction, order is kept.
    defaults.setData("toolCallRecords",
                     R"([{"id":"6ba7b810-9dad-11d1-80b4-00c04fd430c8","toolName":"b","category":"信息","callCount":1,)"
                     R"("firstCallTime":786829243.5,"lastCallTime":786829243.5,"extra":true},)"
                     R"({"id":"6BA7B811-9DAD-11D1-80B4-00C04FD430C8","toolName":"a","category":"日历","callCount":9,)"
                     R"("firstCallTime":7e8,"lastCallTime":786829999})"
                     "]");
    auto service = makeService();
    ASSERT_EQ(service->toolCallRecords().size(), 2U);
    EXPECT_EQ(service->toolCallRecords()[0].id, "6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
    EXPECT_EQ(service->toolCallRecords()[0].firstCallTime, 786829243.5);
    EXPECT_EQ(service->toolCallRecords()[1].toolName, "a");

    const auto stored = mcp::parseJSON(*defaults.data("toolCallRecords"));
    const auto& first = stored.arrayValue()->front();
    EXPECT_EQ(first.objectValue()->size(), 6U);
    EXPECT_EQ(*first.find("id"), mcp::Value("6BA7B810-9DAD-11D1-80B4-00C04FD430C8"));
    EXPECT_EQ(*first.find("firstCallTime"), mcp::Value(786829243.5));

    auto restarted = makeService();
    EXPECT_EQ(restarted->toolCallRecords(), service->toolCallRecords());
}

TEST_F(LocalToolServiceTest, UnreadableRecordsAreKeptAsideAndReplaced) {
    const std::vector<mcp::Value> unreadable = {
        "not json",
        R"({"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8"})",
        R"([{"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","toolName":"a","category":"c","callCount":1,"firstCallTime":1}])",
        R"([{"id":"not-a-uuid","toolName":"a","category":"c","callCount":1,"firstCallTime":1,"lastCallTime":1}])",
        42,
    };
    for (const auto& value : unreadable) {
        platform::MemoryDefaultsStore store;
        store.set("toolCallRecords", value);
        LocalToolService service(io.get_executor(), store, categories);
        EXPECT_TRUE(service.toolCallRecords().empty()) << value.description();
        EXPECT_EQ(store.data("toolCallRecords"), "[]");
        EXPECT_EQ(store.preservedKeys(), std::vector<std::string>{"toolCallRecords"});
    }
}

}  // namespace
}  // namespace lumenary::app
