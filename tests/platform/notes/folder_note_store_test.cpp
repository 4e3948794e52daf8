#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/defaults/memory_defaults_store.hpp"
#include "platform/notes/folder_note_store.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {
namespace {

namespace fs = std::filesystem;

void writeNoteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readNoteFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Every file and folder under `folder`, relative to it, hidden ones too.
std::set<std::string> everythingUnder(const fs::path& folder) {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        paths.insert(fs::relative(entry.path(), folder).string());
    }
    return paths;
}

class FolderNoteStoreTest : public ::testing::Test {
protected:
    // A note file modified `hoursAgo` hours ago.
    void addNote(const std::string& relativePath, const std::string& text, int hoursAgo) {
        const auto path = notes / relativePath;
        writeNoteFile(path, text);
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(hoursAgo));
    }

    std::vector<std::string> names(std::size_t limit = 100) {
        auto listed = store.noteNames(limit);
        EXPECT_TRUE(listed) << listed.error().description;
        return listed ? listed.value() : std::vector<std::string>{};
    }

    CreatedNote create(const std::string& title, const std::string& content, const std::string& folder = "Notes") {
        auto created = store.createNote({.title = title, .content = content, .folder = folder});
        EXPECT_TRUE(created) << created.error().description;
        return created ? created.value() : CreatedNote{};
    }

    lumenary::testing::TemporaryDirectory root;
    fs::path notes = root.path() / "notes";
    std::mutex skippedMutex;
    std::vector<std::string> skipped;
    FolderNoteStore store{notes, [this](const std::string& line) {
                              std::lock_guard lock(skippedMutex);
                              skipped.push_back(line);
                          }};
};

TEST_F(FolderNoteStoreTest, ListsEveryNoteAtAnyDepthNewestFirstThenByPath) {
    addNote("Old.md", "", 30);
    addNote("Work/Fresh.md", "", 1);
    addNote("b/Same hour.md", "", 5);
    addNote("a/Same hour too.md", "", 5);
    std::string deep;
    for (int level = 1; level <= 10; ++level) {
        deep += "level" + std::to_string(level) + "/";
    }
    addNote(deep + "Deep.md", "", 10);

    EXPECT_EQ(names(), (std::vector<std::string>{"Fresh", "Same hour too", "Same hour", "Deep", "Old"}));
    EXPECT_EQ(names(2), (std::vector<std::string>{"Fresh", "Same hour too"}));
    EXPECT_TRUE(names(0).empty());
}

TEST_F(FolderNoteStoreTest, PassesOverWhatIsNotANote) {
    addNote("Kept.md", "text", 1);
    addNote(".Hidden.md", "", 1);
    addNote(".git/Inside hidden folder.md", "", 1);
    addNote("picture.png", std::string("\x89PNG\r\n\x1a\n\0\0", 10), 1);
    addNote("README", "", 1);
    fs::create_directories(notes / "Folder.md");
    ASSERT_EQ(::mkfifo((notes / "Pipe.md").c_str(), 0600), 0);

    EXPECT_EQ(names(), std::vector<std::string>{"Kept"});
}

TEST_F(FolderNoteStoreTest, DoesNotFollowLinkedFoldersIntoLoops) {
    addNote("Sub/Note.md", "", 1);
    fs::create_directory_symlink(notes, notes / "Sub" / "Loop");

    EXPECT_EQ(names(), std::vector<std::string>{"Note"});
}

TEST_F(FolderNoteStoreTest, ListsAndReadsOnlyNotesThatResolveInsideTheFolder) {
    addNote("Kept.md", "kept text", 1);
    addNote("Work/Inner.md", "inner text", 2);
    writeNoteFile(root.path() / "outside" / "secret.md", "secret text");
    fs::create_directory_symlink(root.path() / "outside", notes / "Linked");
    struct Case {
        std::string link;
        fs::path target;
        bool inside;
    };
    const std::vector<Case> cases{
        {"leak.md", "../outside/secret.md", false},
        {"passwd.md", "/etc/passwd", false},
        {"Through a linked folder.md", "Linked/secret.md", false},
        {"Alias.md", "Kept.md", true},
        {"Absolute alias.md", notes / "Work" / "Inner.md", true},
    };
    std::set<std::string> insideNames{"Kept", "Inner"};
    for (const auto& testCase : cases) {
        fs::create_symlink(testCase.target, notes / testCase.link);
        if (testCase.inside) {
            insideNames.insert(fs::path(testCase.link).stem().string());
        }
    }

    const auto listed = names();
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), insideNames);
    const auto found = store.notesContaining("", 100);
    ASSERT_TRUE(found);
    std::set<std::string> foundNames;
    for (const auto& note : found.value()) {
        foundNames.insert(note.name);
        EXPECT_TRUE(note.plainText == "kept text" || note.plainText == "inner text") << note.plainText;
    }
    EXPECT_EQ(foundNames, insideNames);
    for (const auto& testCase : cases) {
        const auto reported = std::count_if(skipped.begin(), skipped.end(), [&](const std::string& line) {
            return line.find(testCase.link) != std::string::npos;
        });
        EXPECT_EQ(reported > 0, !testCase.inside) << testCase.link;
    }
}

TEST_F(FolderNoteStoreTest, AnAbsentFolderHoldsNoNotes) {
    EXPECT_TRUE(names().empty());
    auto found = store.notesContaining("anything", 20);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found.value().empty());
}

TEST_F(FolderNoteStoreTest, AFileInPlaceOfTheFolderIsAnErrorNamingItAndWhatToSet) {
    writeNoteFile(notes, "not a folder");
    for (const auto& description :
         {store.noteNames(10).error().description, store.notesContaining("x", 20).error().description,
          store.createNote({.title = "T", .content = "C"}).error().description}) {
        SCOPED_TRACE(description);
        EXPECT_NE(description.find(notes.string()), std::string::npos);
        EXPECT_NE(description.find("LUMENARY_NOTES_DIR"), std::string::npos);
        EXPECT_NE(description.find("notesDirectory"), std::string::npos);
    }
    EXPECT_EQ(store.noteNames(10).error().code, 500);
}

TEST_F(FolderNoteStoreTest, FindsNotesByNameOrTextIgnoringCaseUpToTheLimit) {
    addNote("Budget plan.md", "numbers", 1);
    addNote("Groceries.md", "milk, BUDGET bread", 2);
    addNote("Trip.md", "Straße nach Köln", 3);
    addNote("Other.md", "nothing here", 4);

    const auto namesOf = [](const std::vector<StoredNote>& found) {
        std::vector<std::string> foundNames;
        for (const auto& note : found) {
            foundNames.push_back(note.name);
        }
        return foundNames;
    };
    EXPECT_EQ(namesOf(store.notesContaining("budget", 20).value()),
              (std::vector<std::string>{"Budget plan", "Groceries"}));
    EXPECT_EQ(namesOf(store.notesContaining("budget", 1).value()), std::vector<std::string>{"Budget plan"});
    EXPECT_EQ(namesOf(store.notesContaining("KÖLN", 20).value()), std::vector<std::string>{"Trip"});
    EXPECT_TRUE(store.notesContaining("absent", 20).value().empty());
    EXPECT_EQ(store.notesContaining("groceries", 20).value().at(0).plainText, "milk, BUDGET bread");
}

TEST_F(FolderNoteStoreTest, ReadsBinaryNotesAsRepairedTextAndPassesOverOversizedOnesWithALine) {
    addNote("Binary.md", std::string("key\xff\xfe\0tail", 10), 1);
    addNote("Huge.md", "", 2);
    fs::resize_file(notes / "Huge.md", 17 * 1024 * 1024);
    fs::last_write_time(notes / "Huge.md", fs::file_time_type::clock::now() - std::chrono::hours(2));

    auto found = store.notesContaining("", 20);
    ASSERT_TRUE(found);
    ASSERT_EQ(found.value().size(), 1U);
    EXPECT_EQ(found.value()[0].plainText, std::string("key\xef\xbf\xbd\xef\xbf\xbd\0tail", 14));
    ASSERT_EQ(skipped.size(), 1U);
    EXPECT_NE(skipped[0].find("Huge.md"), std::string::npos);
    // Listing does not read the notes, so it lists both.
    EXPECT_EQ(names().size(), 2U);
}

TEST_F(FolderNoteStoreTest, CreatesTheNotesFolderAndStoresTheTextExactly) {
    const std::string text = "Line one\nLine \"two\" \\ with a backslash\n会议 ✓\n";
    const auto created = create("Meeting", text);

    EXPECT_EQ(created.name, "Meeting");
    EXPECT_EQ(created.folder, "Notes");
    EXPECT_EQ(readNoteFile(notes / "Meeting.md"), text);
    EXPECT_EQ(fs::status(notes).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(everythingUnder(notes), std::set<std::string>{"Meeting.md"});
}

TEST_F(FolderNoteStoreTest, ChoosesTheFolderByNameIgnoringCaseAndMakesAMissingOne) {
    fs::create_directories(notes / "Work");
    struct Case {
        std::string folder;
        std::optional<std::string> reported;
        std::string file;
    };
    const std::vector<Case> cases{
        {"Notes", "Notes", "A.md"},       {"notes", "Notes", "B.md"}, {"work", "Work", "Work/C.md"},
        {"Ideas", "Ideas", "Ideas/D.md"}, {"a/b", "a_b", "a_b/E.md"}, {"../outside", "_._outside", "_._outside/F.md"},
        {"", std::nullopt, "G.md"},
    };
    char title = 'A';
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.folder);
        const auto created = create(std::string(1, title++), "text", testCase.folder);
        EXPECT_EQ(created.folder, testCase.reported);
        EXPECT_TRUE(fs::is_regular_file(notes / testCase.file));
    }
    EXPECT_FALSE(fs::exists(root.path() / "outside"));
}

TEST_F(FolderNoteStoreTest, PutsTheNoteInTheNotesFolderWhenTheFolderCannotBeMade) {
    writeNoteFile(notes / "Taken", "a file, not a folder");

    const auto created = create("Note", "text", "Taken");

    EXPECT_EQ(created.folder, std::nullopt);
    EXPECT_EQ(readNoteFile(notes / "Note.md"), "text");
    EXPECT_EQ(readNoteFile(notes / "Taken"), "a file, not a folder");
}

TEST_F(FolderNoteStoreTest, RefusesAFolderThatLeadsOutsideThroughALinkAndWritesNothingThere) {
    const auto outside = root.path() / "outside";
    fs::create_directories(outside);
    fs::create_directories(notes);
    fs::create_directory_symlink(outside, notes / "Escape");
    fs::create_directories(notes / "Real");
    fs::create_directory_symlink(notes / "Real", notes / "Alias");

    auto refused = store.createNote({.title = "Secret", .content = "text", .folder = "escape"});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, 400);
    EXPECT_NE(refused.error().description.find("outside the notes folder"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(outside));

    // A link that stays inside is an ordinary folder.
    EXPECT_EQ(create("Kept", "text", "Alias").folder, "Alias");
    EXPECT_EQ(readNoteFile(notes / "Real" / "Kept.md"), "text");
}

TEST_F(FolderNoteStoreTest, MakesTitlesSafeFileNamesThatStayInsideAndVisible) {
    struct Case {
        std::string title;
        std::string name;
    };
    const std::vector<Case> cases{
        {"../../escape", "_._.._escape"}, {".hidden", "_hidden"},       {"..", "_."},
        {"two\nlines", "two_lines"},      {"say \"hi\"", "say \"hi\""},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.title);
        EXPECT_EQ(create(testCase.title, "text").name, testCase.name);
        EXPECT_EQ(readNoteFile(notes / (testCase.name + ".md")), "text");
    }
    EXPECT_EQ(everythingUnder(root.path()).size(), cases.size() + 1);
}

TEST_F(FolderNoteStoreTest, CutsAVeryLongTitleToOneFileNameOnACharacterBoundary) {
    std::string title;
    for (int index = 0; index < 10000; ++index) {
        title += index % 2 == 0 ? "é" : "a";
    }

    const auto created = create(title, "text");

    EXPECT_LE(created.name.size() + 3, 255U);
    EXPECT_GT(created.name.size() + 3, 250U);
    EXPECT_TRUE(system::isValidUTF8(created.name));
    EXPECT_TRUE(title.starts_with(created.name));
    EXPECT_EQ(readNoteFile(notes / (created.name + ".md")), "text");
}

TEST_F(FolderNoteStoreTest, NumbersATakenNameAndNeverReplacesOrWritesThroughWhatHoldsIt) {
    addNote("Plan.md", "first", 1);
    fs::create_symlink(root.path() / "target-outside.md", notes / "Plan 2.md");

    EXPECT_EQ(create("Plan", "second").name, "Plan 3");
    EXPECT_EQ(create("Plan", "third").name, "Plan 4");

    EXPECT_EQ(readNoteFile(notes / "Plan.md"), "first");
    EXPECT_EQ(readNoteFile(notes / "Plan 3.md"), "second");
    EXPECT_EQ(readNoteFile(notes / "Plan 4.md"), "third");
    EXPECT_FALSE(fs::exists(root.path() / "target-outside.md"));
}

TEST_F(FolderNoteStoreTest, NotesCreatedAtOnceAllKeepTheirOwnFile) {
    constexpr int writers = 8;
    std::vector<std::thread> threads;
    for (int writer = 0; writer < writers; ++writer) {
        threads.emplace_back([this, writer] { create("Same", "writer " + std::to_string(writer)); });
    }
    for (auto& thread : threads) {
        thread.join();
    }

    std::set<std::string> texts;
    for (const auto& entry : fs::directory_iterator(notes)) {
        texts.insert(readNoteFile(entry.path()));
    }
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(writers));
    EXPECT_EQ(names().size(), static_cast<std::size_t>(writers));
}

TEST(FolderNoteStoreLocation, TakesTheVariableThenTheDefaultsKeyThenTheDataFolder) {
    struct Case {
        const char* why;
        std::optional<std::string> variable;
        std::optional<std::string> key;
        std::string location;
    };
    const std::vector<Case> cases{
        {"the variable first", "/env/notes", "/key/notes", "/env/notes"},
        {"the key next", std::nullopt, "/key/notes", "/key/notes"},
        {"else the data folder", std::nullopt, std::nullopt, "/xdg/notes"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.why);
        lumenary::testing::ScopedEnvironment environment;
        environment.set("LUMENARY_NOTES_DIR", testCase.variable);
        environment.set("XDG_DATA_HOME", "/xdg");
        MemoryDefaultsStore defaults;
        if (testCase.key) {
            defaults.set("notesDirectory", mcp::Value(*testCase.key));
        }
        EXPECT_EQ(makeFolderNoteStore(defaults)->locationDescription(), testCase.location);
    }
}

}  // namespace
}  // namespace lumenary::platform
