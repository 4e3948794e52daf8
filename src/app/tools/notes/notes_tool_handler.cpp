#include "app/tools/notes/notes_tool_handler.hpp"

#include <algorithm>
#include <cstdint>

#include "app/tools/notes/note_texts.hpp"
#include "app/tools/tool_arguments.hpp"
#include "async/worker_pool.hpp"
#include "logging/logger.hpp"
#include "platform/text/unicode_text.hpp"
#include "system/utf8.hpp"

namespace lumenary::app {

namespace {

constexpr std::size_t searchMatchLimit = 20;
constexpr std::int64_t defaultListLimit = 50;

ToolError notesRefusal(std::int64_t code, std::string description) {
    return ToolError("NotesTool", code, std::move(description));
}

// A store failure as the user reads it: the store's description names the
// folder, the reason and what to set. Paths in it come from the file system,
// which does not promise UTF-8.
ToolError noteStoreFailure(const platform::PlatformError& error) {
    if (error.code == 400) {
        return notesRefusal(400, system::repairUTF8(error.description));
    }
    return notesRefusal(500, "Notes folder error: " + system::repairUTF8(error.description));
}

}  // namespace

NotesToolHandler::NotesToolHandler(std::shared_ptr<platform::NoteStore> store) : store_(std::move(store)) {}

asio::awaitable<ToolOutcome<std::string>> NotesToolHandler::handle(std::string name, PlainDictionary arguments) {
    if (name == "create_note") {
        co_return co_await createNote(arguments);
    }
    if (name == "search_notes") {
        co_return co_await searchNotes(arguments);
    }
    if (name == "list_notes") {
        co_return co_await listNotes(arguments);
    }
    co_return notesRefusal(404, "Unknown notes tool: " + name);
}

asio::awaitable<ToolOutcome<std::string>> NotesToolHandler::createNote(const PlainDictionary& arguments) {
    auto title = textArgument(arguments, "title");
    auto content = textArgument(arguments, "content");
    if (!title || !content) {
        co_return notesRefusal(400, "Missing 'title' or 'content'");
    }
    platform::NewNote note{
        .title = std::move(*title),
        .content = std::move(*content),
        .folder = textArgument(arguments, "folder").value_or(std::string(platform::defaultNotesFolderName))};
    auto work = [store = store_, note = std::move(note)] { return store->createNote(note); };
    auto created = co_await async::runBlocking(std::move(work));
    if (created) {
        co_return createdNoteText(created.value());
    }
    if (created.error().domain == platform::noteFileErrorDomain) {
        // The answer stays the short one clients know; the reason is for
        // whoever reads the diagnostics.
        logging::Logger("lumenary.notes").error("Failed to write a note: " + created.error().description);
        co_return notesRefusal(500, "Failed to write temporary file");
    }
    co_return noteStoreFailure(created.error());
}

asio::awaitable<ToolOutcome<std::string>> NotesToolHandler::searchNotes(const PlainDictionary& arguments) {
    auto query = textArgument(arguments, "query");
    if (!query) {
        co_return notesRefusal(400, "Missing 'query' argument");
    }
    auto lowerCaseQuery = platform::lowercased(*query);
    auto work = [store = store_, lowerCaseQuery] { return store->notesContaining(lowerCaseQuery, searchMatchLimit); };
    auto found = co_await async::runBlocking(std::move(work));
    if (!found) {
        co_return noteStoreFailure(found.error());
    }
    co_return foundNotesText(found.value(), lowerCaseQuery);
}

asio::awaitable<ToolOutcome<std::string>> NotesToolHandler::listNotes(const PlainDictionary& arguments) {
    const auto limit = std::max<std::int64_t>(integerArgument(arguments, "limit").value_or(defaultListLimit), 0);
    auto work = [store = store_, limit] { return store->noteNames(static_cast<std::size_t>(limit)); };
    auto names = co_await async::runBlocking(std::move(work));
    if (!names) {
        co_return noteStoreFailure(names.error());
    }
    co_return listedNotesText(names.value());
}

}  // namespace lumenary::app
