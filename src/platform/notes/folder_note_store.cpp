#include "platform/notes/folder_note_store.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "logging/logger.hpp"
#include "platform/defaults/data_location.hpp"
#include "platform/notes/note_file.hpp"
#include "platform/notes/note_file_name.hpp"
#include "platform/text/unicode_text.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

constexpr std::string_view noteStoreDomain = "NoteStore";
constexpr int notesFolderMode = 0700;
// Deeper than anyone files notes; a bound all the same.
constexpr int deepestFolderLevel = 64;

const std::string notesFolderSetting = "set LUMENARY_NOTES_DIR or the defaults key notesDirectory";

void logSkippedNote(const std::string& line) {
    logging::Logger("lumenary.notes").warning(line);
}

bool isHiddenNote(const std::filesystem::path& path) {
    return path.filename().string().starts_with('.');
}

std::string outsideNoteLine(const std::filesystem::path& path) {
    return "Note passed over, it resolves outside the notes folder: " + path.string();
}

// Whether `path` resolves to `realRoot` (itself resolved already) or to
// something inside it.
bool resolvesInside(const std::filesystem::path& path, const std::filesystem::path& realRoot) {
    std::error_code error;
    const auto realPath = std::filesystem::canonical(path, error);
    if (error) {
        return false;
    }
    const auto [rootEnd, pathEnd] = std::mismatch(realRoot.begin(), realRoot.end(), realPath.begin(), realPath.end());
    return rootEnd == realRoot.end();
}

// Makes `folder` (mode 0700); an existing folder is fine.
std::error_code makeNotesFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), notesFolderMode) != 0 && !(errno == EEXIST && std::filesystem::is_directory(folder))) {
        return {errno, std::generic_category()};
    }
    return {};
}

}  // namespace

struct FolderNoteStore::NoteFile {
    std::filesystem::path path;
    std::filesystem::file_time_type modified;
};

struct FolderNoteStore::NoteFiles {
    // The notes folder with every link on its way resolved: what a note
    // must resolve inside.
    std::filesystem::path realFolder;
    std::vector<NoteFile> files;
};

struct FolderNoteStore::TargetFolder {
    std::filesystem::path path;
    // Absent for the default folder taken in place of one that could not be
    // made.
    std::optional<std::string> name;
};

FolderNoteStore::FolderNoteStore(std::filesystem::path folder) : FolderNoteStore(std::move(folder), logSkippedNote) {}

FolderNoteStore::FolderNoteStore(std::filesystem::path folder, SkipReport skipReport)
    : folder_(std::move(folder)), skipReport_(std::move(skipReport)) {}

std::string FolderNoteStore::locationDescription() const {
    return folder_.string();
}

PlatformError FolderNoteStore::folderError(const std::string& what, const std::error_code& error) const {
    return PlatformError{std::string(noteStoreDomain), 500,
                         what + " the notes folder " + folder_.string() + ": " + error.message() +
                             ". Notes are kept "
                             "as Markdown files there: " +
                             notesFolderSetting + " to a folder you can read and write."};
}

PlatformOutcome<CreatedNote> FolderNoteStore::createNote(const NewNote& note) {
    std::error_code error;
    if (folder_.has_parent_path()) {
        std::filesystem::create_directories(folder_.parent_path(), error);
    }
    if (error || (error = makeNotesFolder(folder_))) {
        return folderError("Cannot make", error);
    }
    auto target = targetFolder(note.folder);
    if (!target) {
        return target.error();
    }
    auto name = writeNewNoteFile(target.value().path, note.title, note.content);
    if (!name) {
        return name.error();
    }
    return CreatedNote{.name = std::move(name).value(), .folder = std::move(target.value().name)};
}

PlatformOutcome<FolderNoteStore::TargetFolder> FolderNoteStore::targetFolder(const std::string& folderName) const {
    if (equalsIgnoringCase(folderName, defaultNotesFolderName)) {
        return TargetFolder{folder_, std::string(defaultNotesFolderName)};
    }
    // No folder can be made without a name.
    if (folderName.empty()) {
        return TargetFolder{folder_, std::nullopt};
    }
    const std::string wanted = fittedFileName(fileSystemName(folderName), "");
    std::vector<std::filesystem::path> subFolders;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder_, error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code typeError;
        if (!isHiddenNote(entry->path()) && entry->is_directory(typeError)) {
            subFolders.push_back(entry->path());
        }
    }
    if (error) {
        return folderError("Cannot read", error);
    }
    std::sort(subFolders.begin(), subFolders.end());
    auto found = std::find_if(subFolders.begin(), subFolders.end(), [&](const std::filesystem::path& path) {
        return equalsIgnoringCase(system::repairUTF8(path.filename().string()), wanted);
    });
    std::filesystem::path chosen = found != subFolders.end() ? *found : folder_ / wanted;
    if (found == subFolders.end() && makeNotesFolder(chosen)) {
        // A name the file system will not take as a folder (a file of that
        // name is in the way, say) leaves the note in the notes folder.
        return TargetFolder{folder_, std::nullopt};
    }
    const auto realFolder = std::filesystem::canonical(folder_, error);
    if (error || !resolvesInside(chosen, realFolder)) {
        return PlatformError{std::string(noteStoreDomain), 400,
                             "The folder '" + folderName + "' resolves to " +
                                 std::filesystem::weakly_canonical(chosen, error).string() +
                                 ", outside the notes folder " + folder_.string() + ", through a symbolic link"};
    }
    return TargetFolder{chosen, system::repairUTF8(chosen.filename().string())};
}

PlatformOutcome<std::vector<std::string>> FolderNoteStore::noteNames(std::size_t limit) {
    auto files = noteFiles();
    if (!files) {
        return files.error();
    }
    std::vector<std::string> names;
    for (const auto& file : files.value().files) {
        if (names.size() >= limit) {
            break;
        }
        names.push_back(system::repairUTF8(file.path.stem().string()));
    }
    return names;
}

PlatformOutcome<std::vector<StoredNote>> FolderNoteStore::notesContaining(std::string_view term, std::size_t limit) {
    auto files = noteFiles();
    if (!files) {
        return files.error();
    }
    const std::string lowerTerm = lowercased(term);
    std::vector<StoredNote> matches;
    for (const auto& file : files.value().files) {
        if (matches.size() >= limit) {
            break;
        }
        // Asked again just before the read: a folder on the way may have
        // been swapped for a link since the listing.
        if (!resolvesInside(file.path, files.value().realFolder)) {
            skipReport_(outsideNoteLine(file.path));
            continue;
        }
        auto bytes = readNoteFile(file.path);
        if (!bytes) {
            skipReport_("Note passed over: " + bytes.error().description);
            continue;
        }
        // lowercased repairs what is not UTF-8 itself; the text is repaired
        // for the answer only once it matches.
        const std::string name = file.path.stem().string();
        if (lowercased(name).find(lowerTerm) != std::string::npos ||
            lowercased(bytes.value()).find(lowerTerm) != std::string::npos) {
            matches.push_back({.name = system::repairUTF8(name), .plainText = system::repairUTF8(bytes.value())});
        }
    }
    return matches;
}

PlatformOutcome<FolderNoteStore::NoteFiles> FolderNoteStore::noteFiles() const {
    std::error_code error;
    const auto status = std::filesystem::status(folder_, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return NoteFiles{};
    }
    if (error) {
        return folderError("Cannot read", error);
    }
    if (status.type() != std::filesystem::file_type::directory) {
        return folderError("Cannot read", std::make_error_code(std::errc::not_a_directory));
    }
    // The top level must be readable; a sub-folder that is not is passed
    // over with a line.
    std::filesystem::directory_iterator probe(folder_, error);
    if (error) {
        return folderError("Cannot read", error);
    }
    NoteFiles found{.realFolder = std::filesystem::canonical(folder_, error), .files = {}};
    if (error) {
        return folderError("Cannot read", error);
    }
    collectNoteFiles(folder_, 0, found);
    std::sort(found.files.begin(), found.files.end(), [](const NoteFile& left, const NoteFile& right) {
        if (left.modified != right.modified) {
            return left.modified > right.modified;
        }
        return left.path < right.path;
    });
    return found;
}

void FolderNoteStore::collectNoteFiles(const std::filesystem::path& folder, int depth, NoteFiles& found) const {
    std::error_code error;
    std::filesystem::directory_iterator entry(folder, error);
    for (const std::filesystem::directory_iterator end; !error && entry != end; entry.increment(error)) {
        const auto& path = entry->path();
        if (isHiddenNote(path)) {
            continue;
        }
        std::error_code typeError;
        const bool isLink = entry->is_symlink(typeError);
        if (!isLink && entry->is_directory(typeError)) {
            if (depth + 1 < deepestFolderLevel) {
                collectNoteFiles(path, depth + 1, found);
            } else {
                skipReport_("Folder passed over, deeper than " + std::to_string(deepestFolderLevel) +
                            " levels: " + path.string());
            }
            continue;
        }
        if (path.extension() != noteFileExtension || !entry->is_regular_file(typeError)) {
            continue;
        }
        // Linked sub-folders are never entered, so only the file itself can
        // be a link that leads out.
        if (isLink && !resolvesInside(path, found.realFolder)) {
            skipReport_(outsideNoteLine(path));
            continue;
        }
        const auto modified = entry->last_write_time(typeError);
        if (typeError) {
            skipReport_("Note passed over: " + path.string() + ": " + typeError.message());
            continue;
        }
        found.files.push_back({path, modified});
    }
    if (error) {
        skipReport_("Folder passed over: " + folder.string() + ": " + error.message());
    }
}

std::shared_ptr<NoteStore> makeFolderNoteStore(const DefaultsStore& defaults) {
    return std::make_shared<FolderNoteStore>(dataLocation("LUMENARY_NOTES_DIR", "notesDirectory", defaults, "notes"));
}

}  // namespace lumenary::platform
