#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "app/tools/local_tool_service.hpp"
#include "app/tools/notes/notes_tool_handler.hpp"
#include "app/tools/tool_outcome_text.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "platform/notes/folder_note_store.hpp"
#include "support/memory_note_store.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::app {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string repeated(const std::string& text, int count) {
    std::string whole;
    for (int index = 0; index < count; ++index) {
        whole += text;
    }
    return whole;
}

// The notes category behind a tool service, switched on, over a real
// notes folder in a temporary folder.
class NotesToolsTest : public ::testing::Test {
protected:
    NotesToolsTest() {
        useStore(std::make_shared<platform::FolderNoteStore>(notes, [](const std::string&) {}));
    }

    void useStore(std::shared_ptr<platform::NoteStore> store) {
        handler = std::make_shared<NotesToolHandler>(std::move(store));
        ToolCategories categories;
        categories[static_cast<std::size_t>(ToolCategoryKind::notes)] = handler;
        service = std::make_shared<LocalToolService>(io.get_executor(), defaults, categories);
        service->setNotesEnabled(true);
    }

    // The tool's text, or "<domain> <code> <description>" of its error.
    std::string call(std::string name, PlainDictionary arguments = {}) {
        return outcomeText(service->callTool(std::move(name), std::move(arguments)));
    }

    std::string outcomeText(asio::awaitable<ToolOutcome<std::string>> start) {
        return app::testing::toolOutcomeText(io, std::move(start));
    }

    // A note file modified `minutesAgo` minutes ago.
    void addNote(const std::string& name, const std::string& text, int minutesAgo) {
        fs::create_directories(notes);
        const auto path = notes / (name + ".md");
        std::ofstream(path, std::ios::binary) << text;
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(minutesAgo));
    }

    asio::io_context io;
    platform::MemoryDefaultsStore defaults;
    lumenary::testing::TemporaryDirectory root;
    fs::path notes = root.path() / "notes";
    std::shared_ptr<NotesToolHandler> handler;
    std::shared_ptr<LocalToolService> service;
};

TEST_F(NotesToolsTest, CreateAnswersWhereTheNoteWentAndStoresTheContentExactly) {
    struct Case {
        PlainDictionary arguments;
        std::string answer;
        std::string file;
    };
    const std::string content = "First line\nSecond \"quoted\" line with a \\ backslash\n中文 ✓";
    const std::vector<Case> cases{
        {{{"title", "Shopping"}, {"content", content}}, "Created note 'Shopping' in folder 'Notes'", "Shopping.md"},
        {{{"title", "Say \"hi\""}, {"content", content}, {"folder", 7}},
         "Created note 'Say \"hi\"' in folder 'Notes'",
         "Say \"hi\".md"},
        {{{"title", "Plan"}, {"content", content}, {"folder", "Projects"}},
         "Created note 'Plan' in folder 'Projects'",
         "Projects/Plan.md"},
        {{{"title", "Later"}, {"content", content}, {"folder", "projects"}},
         "Created note 'Later' in folder 'Projects'",
         "Projects/Later.md"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.answer);
        EXPECT_EQ(call("create_note", testCase.arguments), testCase.answer);
        EXPECT_EQ(readFile(notes / testCase.file), content);
    }
}

TEST_F(NotesToolsTest, CreateFallsBackToTheDefaultFolderWhenTheFolderCannotBeMade) {
    fs::create_directories(notes);
    std::ofstream(notes / "Archive") << "a file in the way";

    EXPECT_EQ(call("create_note", {{"title", "Old"}, {"content", "x"}, {"folder", "Archive"}}),
              "Created note 'Old' in default folder");
    EXPECT_EQ(readFile(notes / "Old.md"), "x");
}

TEST_F(NotesToolsTest, CreateKeepsATraversalAttemptInsideAndNumbersAClash) {
    EXPECT_EQ(call("create_note", {{"title", "../../../escaped"}, {"content", "one"}, {"folder", "../.."}}),
              "Created note '_._.._.._escaped' in folder '_._..'");
    EXPECT_EQ(call("create_note", {{"title", "Plan"}, {"content", "one"}}), "Created note 'Plan' in folder 'Notes'");
    EXPECT_EQ(call("create_note", {{"title", "Plan"}, {"content", "two"}}), "Created note 'Plan 2' in folder 'Notes'");

    EXPECT_EQ(readFile(notes / "Plan.md"), "one");
    EXPECT_EQ(readFile(notes / "Plan 2.md"), "two");
    EXPECT_EQ(std::distance(fs::directory_iterator(root.path()), fs::directory_iterator()), 1);
}

TEST_F(NotesToolsTest, CreateRefusesAFolderThatLeadsOutsideThroughASymbolicLink) {
    const auto outside = root.path() / "elsewhere";
    fs::create_directories(outside);
    fs::create_directories(notes);
    fs::create_directory_symlink(outside, notes / "Linked");

    const auto answer = call("create_note", {{"title", "Secret"}, {"content", "x"}, {"folder", "Linked"}});

    EXPECT_TRUE(answer.starts_with("NotesTool 400 The folder 'Linked' resolves to ")) << answer;
    EXPECT_TRUE(fs::is_empty(outside));
}

TEST_F(NotesToolsTest, RefusesCallsWithoutTheirTextArguments) {
    struct Case {
        std::string tool;
        PlainDictionary arguments;
        std::string answer;
    };
    const std::vector<Case> cases{
        {"create_note", {{"content", "x"}}, "NotesTool 400 Missing 'title' or 'content'"},
        {"create_note", {{"title", "x"}}, "NotesTool 400 Missing 'title' or 'content'"},
        {"create_note", {{"title", 5}, {"content", "x"}}, "NotesTool 400 Missing 'title' or 'content'"},
        {"search_notes", {}, "NotesTool 400 Missing 'query' argument"},
        {"search_notes", {{"query", true}}, "NotesTool 400 Missing 'query' argument"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.tool);
        EXPECT_EQ(call(testCase.tool, testCase.arguments), testCase.answer);
    }
    EXPECT_FALSE(fs::exists(notes));
}

TEST_F(NotesToolsTest, SearchAnswersEachMatchWithItsTitleAndContentNewestFirst) {
    addNote("Budget", "Rent and food", 1);
    addNote("Groceries", "milk\nbudget bread", 2);
    addNote("Unrelated", "nothing", 3);

    EXPECT_EQ(call("search_notes", {{"query", "BUDGET"}}),
              "Title: Budget\nContent: Rent and food\n---\nTitle: Groceries\nContent: milk\nbudget bread\n---");
}

TEST_F(NotesToolsTest, SearchWithoutAMatchEchoesTheQueryInLowerCase) {
    addNote("Budget", "Rent", 1);
    EXPECT_EQ(call("search_notes", {{"query", "Holiday ÄRGER"}}), "No notes found matching 'holiday ärger'");
}

TEST_F(NotesToolsTest, SearchCutsALongTextAtTwoHundredCharactersWithoutSplittingOne) {
    addNote("Long", repeated("ä", 500), 1);
    addNote("Exact", repeated("b", 200), 2);

    EXPECT_EQ(call("search_notes", {{"query", "long"}}), "Title: Long\nContent: " + repeated("ä", 200) + "...\n---");
    EXPECT_EQ(call("search_notes", {{"query", "exact"}}), "Title: Exact\nContent: " + repeated("b", 200) + "\n---");
}

TEST_F(NotesToolsTest, SearchStopsAfterTwentyMatches) {
    for (int index = 0; index < 25; ++index) {
        addNote("Match " + std::to_string(index), "common", index);
    }
    const auto answer = call("search_notes", {{"query", "common"}});
    std::size_t entries = 0;
    for (std::size_t at = answer.find("---"); at != std::string::npos; at = answer.find("---", at + 1)) {
        ++entries;
    }
    EXPECT_EQ(entries, 20U);
    EXPECT_TRUE(answer.starts_with("Title: Match 0\n"));
    EXPECT_TRUE(answer.ends_with("Title: Match 19\nContent: common\n---"));
}

TEST_F(NotesToolsTest, ListNumbersTheNewestNotesUpToTheLimit) {
    addNote("Third", "", 3);
    addNote("First", "", 1);
    addNote("Second", "", 2);
    struct Case {
        PlainDictionary arguments;
        std::string answer;
    };
    const std::vector<Case> cases{
        {{}, "1. First\n2. Second\n3. Third"},
        {{{"limit", 2}}, "1. First\n2. Second"},
        {{{"limit", 0}}, "No notes found."},
        {{{"limit", -4}}, "No notes found."},
        {{{"limit", 1.5}}, "1. First\n2. Second\n3. Third"},
        {{{"limit", "1"}}, "1. First\n2. Second\n3. Third"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.answer);
        EXPECT_EQ(call("list_notes", testCase.arguments), testCase.answer);
    }
}

TEST_F(NotesToolsTest, ListWithoutNotesSaysSo) {
    EXPECT_EQ(call("list_notes"), "No notes found.");
}

TEST_F(NotesToolsTest, ListAsksTheStoreForFiftyByDefaultAndSearchForTwenty) {
    auto store = std::make_shared<lumenary::testing::MemoryNoteStore>();
    useStore(store);
    call("list_notes");
    call("list_notes", {{"limit", 1000000}});
    call("search_notes", {{"query", "x"}});
    EXPECT_EQ(store->askedLimits(), (std::vector<std::size_t>{50, 1000000, 20}));
}

TEST_F(NotesToolsTest, StoreFailuresNameWhatFailedAndWhatToSet) {
    auto store = std::make_shared<lumenary::testing::MemoryNoteStore>();
    useStore(store);
    const std::string folderProblem = "Cannot read the notes folder /n: Permission denied. Set LUMENARY_NOTES_DIR.";
    store->failReads({"NoteStore", 500, folderProblem});
    store->failCreates({"NoteStore", 500, folderProblem});

    EXPECT_EQ(call("list_notes"), "NotesTool 500 Notes folder error: " + folderProblem);
    EXPECT_EQ(call("search_notes", {{"query", "x"}}), "NotesTool 500 Notes folder error: " + folderProblem);
    EXPECT_EQ(call("create_note", {{"title", "T"}, {"content", "C"}}),
              "NotesTool 500 Notes folder error: " + folderProblem);

    store->failCreates({std::string(platform::noteFileErrorDomain), 500, "Cannot write /n/.note-x: No space left"});
    EXPECT_EQ(call("create_note", {{"title", "T"}, {"content", "C"}}), "NotesTool 500 Failed to write temporary file");
}

TEST_F(NotesToolsTest, AnotherToolNameIsNotOwned) {
    EXPECT_EQ(outcomeText(handler->handle("delete_note", {})), "NotesTool 404 Unknown notes tool: delete_note");
}

}  // namespace
}  // namespace lumenary::app
