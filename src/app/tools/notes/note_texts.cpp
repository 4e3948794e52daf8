#include "app/tools/notes/note_texts.hpp"

#include "platform/text/leading_characters.hpp"

namespace lumenary::app {

std::string createdNoteText(const platform::CreatedNote& note) {
    if (!note.folder) {
        return "Created note '" + note.name + "' in default folder";
    }
    return "Created note '" + note.name + "' in folder '" + *note.folder + "'";
}

std::string foundNotesText(const std::vector<platform::StoredNote>& notes, const std::string& lowerCaseQuery) {
    if (notes.empty()) {
        return "No notes found matching '" + lowerCaseQuery + "'";
    }
    std::string text;
    for (const auto& note : notes) {
        if (!text.empty()) {
            text += '\n';
        }
        text += "Title: " + note.name + "\nContent: ";
        if (auto excerpt = platform::leadingCharactersOfLonger(note.plainText, noteExcerptCharacters)) {
            text += *excerpt + "...";
        } else {
            text += note.plainText;
        }
        text += "\n---";
    }
    return text;
}

std::string listedNotesText(const std::vector<std::string>& names) {
    if (names.empty()) {
        return "No notes found.";
    }
    std::string text;
    for (std::size_t index = 0; index < names.size(); ++index) {
        if (index > 0) {
            text += '\n';
        }
        text += std::to_string(index + 1) + ". " + names[index];
    }
    return text;
}

}  // namespace lumenary::app
