#include "platform/music/music_folder_scan.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include "platform/music/audio_tag_reader.hpp"
#include "platform/music/playlist_file.hpp"

namespace lumenary::platform {

namespace {

using FolderIdentity = std::pair<dev_t, ino_t>;

std::int64_t nanosecondsOf(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

bool isLink(int folder, const dirent& entry) {
    if (entry.d_type != DT_UNKNOWN) {
        return entry.d_type == DT_LNK;
    }
    struct stat status {};
    return ::fstatat(folder, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

// Folders still to enter: the real ones first, so that a file reached both
// directly and through a link is listed under its own path.
struct PendingFolders {
    std::vector<std::string> real;
    std::vector<std::string> linked;
};

// Reads one folder's entries; subfolders go onto `pending`.
void scanOne(DIR* directory, const std::string& path, PendingFolders& pending, std::vector<ScannedFile>& files) {
    const int descriptor = ::dirfd(directory);
    while (const dirent* entry = ::readdir(directory)) {
        const char* name = entry->d_name;
        if (name[0] == '.') {
            continue;
        }
        struct stat status {};
        // Follows links: a linked folder or file counts as what it points to.
        if (::fstatat(descriptor, name, &status, 0) != 0) {
            continue;
        }
        std::string child = path;
        if (child.empty() || child.back() != '/') {
            child.push_back('/');
        }
        child.append(name);
        if (S_ISDIR(status.st_mode)) {
            (isLink(descriptor, *entry) ? pending.linked : pending.real).push_back(std::move(child));
            continue;
        }
        if (!S_ISREG(status.st_mode)) {
            continue;
        }
        const bool playlist = isPlaylistFileName(name);
        if (!playlist && !isAudioFileName(name)) {
            continue;
        }
        files.push_back({.path = std::move(child),
                         .modified = nanosecondsOf(status.st_mtim),
                         .size = static_cast<std::uintmax_t>(status.st_size),
                         .isPlaylist = playlist});
    }
}

}  // namespace

PlatformOutcome<MusicFolderScan> scanMusicFolder(const std::filesystem::path& folder) {
    MusicFolderScan scan;
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) {
        const int error = errno;
        if (error == ENOENT) {
            scan.folderExists = false;
            return scan;
        }
        return PlatformError{"MusicLibrary", error, std::strerror(error)};
    }
    if (!S_ISDIR(status.st_mode)) {
        return PlatformError{"MusicLibrary", ENOTDIR, std::strerror(ENOTDIR)};
    }
    DIR* top = ::opendir(folder.c_str());
    if (top == nullptr) {
        const int error = errno;
        return PlatformError{"MusicLibrary", error, std::strerror(error)};
    }
    std::set<FolderIdentity> visited{{status.st_dev, status.st_ino}};
    PendingFolders pending;
    scanOne(top, folder.string(), pending, scan.files);
    ::closedir(top);
    while (!pending.real.empty() || !pending.linked.empty()) {
        auto& from = pending.real.empty() ? pending.linked : pending.real;
        const std::string path = std::move(from.back());
        from.pop_back();
        DIR* directory = ::opendir(path.c_str());
        if (directory == nullptr) {
            continue;
        }
        struct stat opened {};
        // Each real folder once, however many links lead to it.
        if (::fstat(::dirfd(directory), &opened) != 0 || !visited.insert({opened.st_dev, opened.st_ino}).second) {
            ::closedir(directory);
            continue;
        }
        scanOne(directory, path, pending, scan.files);
        ::closedir(directory);
    }
    return scan;
}

}  // namespace lumenary::platform
