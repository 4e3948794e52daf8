#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/tools/tool_category.hpp"
#include "platform/notes/note_store.hpp"

namespace lumenary::app {

// The notes category: create_note, search_notes and list_notes over the
// note store, whose calls run on the worker pool. Refusals and failures
// carry the domain "NotesTool": 400 for a missing argument or a folder the
// store refuses, 500 for a failed file step, 404 for a name not its own.
class NotesToolHandler final : public ToolCategory {
public:
    explicit NotesToolHandler(std::shared_ptr<platform::NoteStore> store);

    std::vector<MCPTool> tools() const override;
    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override;

private:
    asio::awaitable<ToolOutcome<std::string>> createNote(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> searchNotes(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> listNotes(const PlainDictionary& arguments);

    std::shared_ptr<platform::NoteStore> store_;
};

}  // namespace lumenary::app
