#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// The folder name that stands for the notes folder itself.
inline constexpr std::string_view defaultNotesFolderName = "Notes";

inline constexpr std::string_view noteFileErrorDomain = "NoteFile";

struct NewNote {
    std::string title;
    // The note's plain text, stored exactly.
    std::string content;
    // "Notes" (in any letter case) for the notes folder itself; any other
    // name is a sub-folder, made when no folder of that name exists.
    std::string folder{defaultNotesFolderName};
};

// Where a new note went, named as stored.
struct CreatedNote {
    std::string name;
    // The folder's name; absent when the named folder could neither be found
    // nor made and the note went to the default folder instead.
    std::optional<std::string> folder;
};

struct StoredNote {
    std::string name;
    std::string plainText;
};

// The user's notes. Enumerations follow the notes' own order: the most
// recently modified first, then by location. Every member may block on
// files, so callers run them on the worker pool; an implementation is safe
// to call from several threads at once. Errors carry code 400 for a request
// the store refuses and 500 for a step that failed, with the domain
// noteFileErrorDomain when the note's own file could not be written and
// another (the store's) when the notes folder could not be read or made.
class NoteStore {
public:
    virtual ~NoteStore() = default;

    // Where the notes are kept, for messages that tell the user what to fix.
    virtual std::string locationDescription() const = 0;

    // Stores a new note. Never replaces or hides another note: a name that
    // is taken gets a number.
    virtual PlatformOutcome<CreatedNote> createNote(const NewNote& note) = 0;

    // The names of the first `limit` notes.
    virtual PlatformOutcome<std::vector<std::string>> noteNames(std::size_t limit) = 0;

    // The first `limit` notes whose name or plain text contains `term`,
    // ignoring letter case. A note that cannot be read is passed over.
    virtual PlatformOutcome<std::vector<StoredNote>> notesContaining(std::string_view term, std::size_t limit) = 0;
};

}  // namespace lumenary::platform
