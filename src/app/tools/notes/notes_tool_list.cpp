#include "app/tools/notes/notes_tool_handler.hpp"
#include "app/tools/tool_input_schema.hpp"

namespace lumenary::app {

std::vector<MCPTool> NotesToolHandler::tools() const {
    return {
        {.name = "create_note",
         .description = "Create a new note with a title and content.",
         .displayDescription = "创建具有标题和内容的新备忘录。",
         .inputSchema = objectSchema({{"title", schemaProperty("string", "Note Title")},
                                      {"content", schemaProperty("string", "Note Content")},
                                      {"folder", schemaProperty("string", "Folder name (default: Notes)")}},
                                     {"title", "content"})},
        {.name = "search_notes",
         .description = "Search for notes matching a keyword.",
         .displayDescription = "按关键词搜索备忘录。",
         .inputSchema = objectSchema({{"query", schemaProperty("string", "Search keyword")}}, {"query"})},
        {.name = "list_notes",
         .description = "List recent notes in the library.",
         .displayDescription = "列出最近的备忘录。",
         .inputSchema = objectSchema(
             {{"limit", schemaProperty("integer", "Maximum number of notes to return (default: 50)")}}, {})},
    };
}

}  // namespace lumenary::app
