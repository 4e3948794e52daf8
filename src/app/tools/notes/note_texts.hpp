#pragma once

#include <string>
#include <vector>

#include "platform/notes/note_store.hpp"

namespace lumenary::app {

// Most characters of a note's text that a search answer shows.
inline constexpr std::size_t noteExcerptCharacters = 200;

// The answer of create_note: "Created note '<name>' in folder '<folder>'",
// or "... in default folder" when the note went there instead.
std::string createdNoteText(const platform::CreatedNote& note);

// The answer of search_notes: one "Title:", "Content:", "---" entry per
// note, its text cut to noteExcerptCharacters and "..."; with none, the
// no-match text echoing `lowerCaseQuery`.
std::string foundNotesText(const std::vector<platform::StoredNote>& notes, const std::string& lowerCaseQuery);

// The answer of list_notes: "1. <name>" and so on, one line each, or
// "No notes found.".
std::string listedNotesText(const std::vector<std::string>& names);

}  // namespace lumenary::app
