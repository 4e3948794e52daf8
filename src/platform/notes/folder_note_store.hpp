#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/defaults/defaults_store.hpp"
#include "platform/notes/note_store.hpp"

namespace lumenary::platform {

// Notes as a folder of Markdown files: each note is one "<name>.md" file,
// anywhere under the folder, whose text is the note's plain text; each
// direct sub-folder is a notes folder of its own. Hidden files and folders
// are not notes, sub-folders reached through symbolic links are not
// searched (no loops), and a note file that resolves outside the folder
// (a link to elsewhere) is passed over with a line, never read. Nothing is
// cached: every call reads the folder afresh. Safe to call from several threads: new files never replace one
// another.
class FolderNoteStore final : public NoteStore {
public:
    // Takes one line about a note or folder that was passed over.
    using SkipReport = std::function<void(const std::string& line)>;

    explicit FolderNoteStore(std::filesystem::path folder);
    FolderNoteStore(std::filesystem::path folder, SkipReport skipReport);

    std::string locationDescription() const override;

    // Makes the notes folder (mode 0700) when it does not exist. A folder
    // name matches a sub-folder's name ignoring letter case, else becomes a
    // new sub-folder named as fileSystemName makes it; a name that cannot
    // be made a folder puts the note in the notes folder itself. A matched
    // folder that resolves outside the notes folder, through a symbolic
    // link, is refused with code 400.
    PlatformOutcome<CreatedNote> createNote(const NewNote& note) override;

    // An absent notes folder holds no notes.
    PlatformOutcome<std::vector<std::string>> noteNames(std::size_t limit) override;
    PlatformOutcome<std::vector<StoredNote>> notesContaining(std::string_view term, std::size_t limit) override;

private:
    struct NoteFile;
    struct NoteFiles;
    struct TargetFolder;

    PlatformOutcome<NoteFiles> noteFiles() const;
    void collectNoteFiles(const std::filesystem::path& folder, int depth, NoteFiles& found) const;
    PlatformOutcome<TargetFolder> targetFolder(const std::string& folderName) const;
    PlatformError folderError(const std::string& what, const std::error_code& error) const;

    std::filesystem::path folder_;
    SkipReport skipReport_;
};

// The store over the folder the user chose: $LUMENARY_NOTES_DIR, else the
// defaults key "notesDirectory", else $XDG_DATA_HOME/notes
// (~/.local/share/notes), read once, here.
std::shared_ptr<NoteStore> makeFolderNoteStore(const DefaultsStore& defaults);

}  // namespace lumenary::platform
