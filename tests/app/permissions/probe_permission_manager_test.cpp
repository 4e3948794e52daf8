#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "permission_probe_fixture.hpp"
#include "support/run_awaitable.hpp"
#include "system/utf8.hpp"

namespace lumenary::app {
namespace {

using testing::PermissionProbeFixture;
using testing::Shape;
using Kind = PermissionCategory::Kind;

// Names a probed location may have: a plain one, one with a space and
// bytes that are not UTF-8, and a relative one.
const std::vector<std::string> locationNames{"store", "my store \xff\xfe", "relative"};

// Where the category's probe looks.
std::filesystem::path locationOf(PermissionProbeFixture& fixture, Kind kind) {
    switch (kind) {
        case Kind::calendar: return fixture.calendarFolder;
        case Kind::reminders: return fixture.reminderFolder;
        case Kind::contacts: return fixture.contactsFolder;
        default: return fixture.database;
    }
}

// A fixture whose locations are named `name`; "relative" ones are made
// relative to a working folder the test moves into.
struct NamedLocations {
    explicit NamedLocations(const std::string& name) {
        if (name == "relative") {
            workingFolder.emplace(fixture.root.path());
            fixture.calendarFolder = "calendar/relative";
            fixture.reminderFolder = "reminders/relative";
            fixture.contactsFolder = "contacts/relative";
            fixture.database = "messages/relative";
        } else {
            fixture.calendarFolder.replace_filename(name);
            fixture.reminderFolder.replace_filename(name);
            fixture.contactsFolder.replace_filename(name);
            fixture.database.replace_filename(name);
        }
    }
    PermissionProbeFixture fixture;
    std::optional<testing::ScopedWorkingDirectory> workingFolder;
};

struct StatusCase {
    Kind kind;
    Shape shape;
    PermissionStatus expected;
};

TEST(ProbePermissionManager, StatusFollowsWhatStandsAtTheCategorysLocation) {
    const std::vector<StatusCase> cases{
        {Kind::calendar, Shape::absent, PermissionStatus::notDetermined},
        {Kind::calendar, Shape::present, PermissionStatus::granted},
        {Kind::calendar, Shape::wrongKind, PermissionStatus::denied},
        {Kind::calendar, Shape::danglingLink, PermissionStatus::notDetermined},
        {Kind::calendar, Shape::refusedByCheck, PermissionStatus::denied},
        {Kind::reminders, Shape::absent, PermissionStatus::notDetermined},
        {Kind::reminders, Shape::present, PermissionStatus::granted},
        {Kind::reminders, Shape::wrongKind, PermissionStatus::denied},
        {Kind::reminders, Shape::refusedByCheck, PermissionStatus::denied},
        // An absent address book is an empty one.
        {Kind::contacts, Shape::absent, PermissionStatus::granted},
        {Kind::contacts, Shape::present, PermissionStatus::granted},
        {Kind::contacts, Shape::wrongKind, PermissionStatus::denied},
        {Kind::contacts, Shape::danglingLink, PermissionStatus::granted},
        {Kind::contacts, Shape::refusedByCheck, PermissionStatus::denied},
        // Full disk access is never undetermined.
        {Kind::fullDiskAccess, Shape::absent, PermissionStatus::denied},
        {Kind::fullDiskAccess, Shape::present, PermissionStatus::granted},
        {Kind::fullDiskAccess, Shape::wrongKind, PermissionStatus::denied},
        {Kind::fullDiskAccess, Shape::danglingLink, PermissionStatus::denied},
        {Kind::fullDiskAccess, Shape::notADatabase, PermissionStatus::denied},
    };
    for (const auto& name : locationNames) {
        for (const auto& [kind, shape, expected] : cases) {
            SCOPED_TRACE("location \"" + name + "\", kind " + std::to_string(static_cast<int>(kind)) + ", shape " +
                         std::to_string(static_cast<int>(shape)));
            NamedLocations named(name);
            auto& fixture = named.fixture;
            fixture.place(locationOf(fixture, kind), shape);
            EXPECT_EQ(fixture.manager()->status(PermissionCategory::of(kind)), expected);
        }
    }
}

TEST(ProbePermissionManager, CategoriesWithoutAProbeAnswerAtOnce) {
    PermissionProbeFixture fixture;
    auto manager = fixture.manager();
    EXPECT_EQ(manager->status(PermissionCategory::automation("Mail")), PermissionStatus::notDetermined);
    EXPECT_EQ(manager->status(PermissionCategory::of(Kind::none)), PermissionStatus::granted);
    EXPECT_TRUE(testing::runAwaitable(manager->request(PermissionCategory::automation("Music"))));
    EXPECT_TRUE(testing::runAwaitable(manager->request(PermissionCategory::of(Kind::none))));
    EXPECT_EQ(manager->status(PermissionCategory::automation("Notes")), PermissionStatus::notDetermined);
}

struct RequestCase {
    Kind kind;
    Shape shape;
    bool answer;
    // The start of the one console line the request writes, if any.
    std::optional<std::string> line;
    PermissionStatus statusAfter;
};

TEST(ProbePermissionManager, RequestRunsTheCategorysOwnRequestElseProbesAgain) {
    const std::vector<RequestCase> cases{
        {Kind::calendar, Shape::absent, true, std::nullopt, PermissionStatus::granted},
        {Kind::calendar, Shape::present, true, std::nullopt, PermissionStatus::granted},
        // A plain refusal: the store service has said its own word.
        {Kind::calendar, Shape::wrongKind, false, std::nullopt, PermissionStatus::denied},
        // The folder cannot be made where a dangling link stands.
        {Kind::calendar, Shape::danglingLink, false, "Error requesting calendar access: Cannot create the calendar",
         PermissionStatus::notDetermined},
        {Kind::reminders, Shape::absent, true, std::nullopt, PermissionStatus::granted},
        {Kind::reminders, Shape::refusedByCheck, false, std::nullopt, PermissionStatus::denied},
        {Kind::reminders, Shape::danglingLink, false, "Error requesting reminders access: Cannot create the",
         PermissionStatus::notDetermined},
        {Kind::contacts, Shape::absent, true, std::nullopt, PermissionStatus::granted},
        {Kind::contacts, Shape::wrongKind, false, "Error requesting contacts access: Access denied or restricted.",
         PermissionStatus::denied},
        {Kind::fullDiskAccess, Shape::present, true, std::nullopt, PermissionStatus::granted},
        {Kind::fullDiskAccess, Shape::absent, false, std::nullopt, PermissionStatus::denied},
    };
    for (const auto& [kind, shape, answer, line, statusAfter] : cases) {
        SCOPED_TRACE("kind " + std::to_string(static_cast<int>(kind)) + ", shape " +
                     std::to_string(static_cast<int>(shape)));
        PermissionProbeFixture fixture;
        fixture.place(locationOf(fixture, kind), shape);
        auto manager = fixture.manager();
        EXPECT_EQ(testing::runAwaitable(manager->request(PermissionCategory::of(kind))), answer);
        const auto lines = fixture.lines();
        if (line) {
            ASSERT_EQ(lines.size(), 1U);
            EXPECT_TRUE(lines.front().starts_with(*line)) << lines.front();
        } else {
            EXPECT_TRUE(lines.empty()) << lines.front();
        }
        EXPECT_EQ(manager->status(PermissionCategory::of(kind)), statusAfter);
    }
}

struct DesktopCase {
    std::optional<std::string> displayUnavailable;
    std::optional<std::string> busUnavailable;
    std::optional<bool> accessibilityEnabled;
    PermissionStatus status;
    bool requestAnswer;
    // Whether the hint adds the desktop's accessibility setting and a
    // settings program is offered.
    bool settingAdvice;
};

TEST(ProbePermissionManager, DesktopControlIsTheTrustCheckAndNeverDenied) {
    const std::vector<DesktopCase> cases{
        {std::nullopt, std::nullopt, true, PermissionStatus::granted, true, false},
        {"No X display is set.", std::nullopt, true, PermissionStatus::notDetermined, false, false},
        {std::nullopt, "The accessibility bus does not answer.", true, PermissionStatus::notDetermined, false, false},
        {std::nullopt, "The accessibility bus does not answer.", false, PermissionStatus::notDetermined, false, true},
        // Trusted, yet Qt programs stay hidden while the setting is off.
        {std::nullopt, std::nullopt, false, PermissionStatus::granted, true, true},
        // A setting nobody answers for is not said to be off.
        {std::nullopt, "The accessibility bus does not answer.", std::nullopt, PermissionStatus::notDetermined, false,
         false},
    };
    const auto category = PermissionCategory::of(Kind::accessibility);
    for (const auto& [display, bus, enabled, status, requestAnswer, settingAdvice] : cases) {
        SCOPED_TRACE(display.value_or("display") + " / " + bus.value_or("bus") + " / setting " +
                     (enabled ? std::to_string(*enabled) : "unknown"));
        PermissionProbeFixture fixture;
        fixture.displayUnavailable = display;
        fixture.busUnavailable = bus;
        fixture.accessibilityEnabled = enabled;
        auto manager = fixture.manager();
        EXPECT_EQ(manager->status(category), status);
        EXPECT_EQ(testing::runAwaitable(manager->request(category)), requestAnswer);
        const auto guidance = manager->guidance(category);
        EXPECT_EQ(guidance.hint.find("Qt 程序只在它打开时才公开界面元素树（GTK 程序始终公开）") != std::string::npos,
                  settingAdvice)
            << guidance.hint;
        EXPECT_EQ(guidance.settingsProgram.has_value(), settingAdvice);
        EXPECT_FALSE(guidance.settingsLocation);
    }
}

struct GuidanceCase {
    Kind kind;
    Shape shape;
    // What "去设置" opens: the location itself or the folder holding it.
    bool opensLocationItself;
};

TEST(ProbePermissionManager, GuidanceNamesTheAbsoluteLocationAndOpensTheFolderShowingIt) {
    const std::vector<GuidanceCase> cases{
        {Kind::calendar, Shape::present, true},      {Kind::calendar, Shape::absent, false},
        {Kind::reminders, Shape::wrongKind, false},  {Kind::contacts, Shape::present, true},
        {Kind::contacts, Shape::danglingLink, false}, {Kind::fullDiskAccess, Shape::present, false},
        {Kind::fullDiskAccess, Shape::absent, false},
    };
    for (const auto& name : locationNames) {
        for (const auto& [kind, shape, itself] : cases) {
            SCOPED_TRACE("location \"" + name + "\", kind " + std::to_string(static_cast<int>(kind)) + ", shape " +
                         std::to_string(static_cast<int>(shape)));
            NamedLocations named(name);
            auto& fixture = named.fixture;
            const auto location = locationOf(fixture, kind);
            fixture.place(location, shape);
            const auto absolute = std::filesystem::absolute(location);
            const auto guidance = fixture.manager()->guidance(PermissionCategory::of(kind));
            EXPECT_TRUE(system::isValidUTF8(guidance.hint));
            EXPECT_NE(guidance.hint.find(system::repairUTF8(absolute.string())), std::string::npos) << guidance.hint;
            EXPECT_EQ(guidance.settingsLocation, (itself ? absolute : absolute.parent_path()).string());
            EXPECT_FALSE(guidance.settingsProgram);
        }
    }
}

TEST(ProbePermissionManager, OpeningSettingsOpensWhatTheGuidanceNames) {
    PermissionProbeFixture fixture;
    fixture.place(fixture.contactsFolder, Shape::present);
    fixture.accessibilityEnabled = false;
    auto manager = fixture.manager();

    manager->openSystemSettings(PermissionCategory::of(Kind::contacts));
    manager->openSystemSettings(PermissionCategory::of(Kind::accessibility));
    manager->openSystemSettings(PermissionCategory::automation("Mail"));
    manager->openSystemSettings(PermissionCategory::of(Kind::none));

    EXPECT_EQ(fixture.opener->links(), std::vector<std::string>{fixture.contactsFolder.string()});
    EXPECT_EQ(fixture.programs(), (std::vector<std::vector<std::string>>{{"settings-program", "access"}}));
    EXPECT_TRUE(fixture.lines().empty());
}

TEST(ProbePermissionManager, AFolderThatDoesNotOpenIsReportedOnTheConsole) {
    PermissionProbeFixture fixture;
    fixture.opener->failWith(platform::PlatformError{"UrlOpener", 500, "no handler for folders"});
    fixture.manager()->openSystemSettings(PermissionCategory::of(Kind::calendar));
    EXPECT_EQ(fixture.lines(), std::vector<std::string>{"[PermissionManager] Could not open " +
                                                        fixture.calendarFolder.parent_path().string() +
                                                        ": no handler for folders"});
}

}  // namespace
}  // namespace lumenary::app
