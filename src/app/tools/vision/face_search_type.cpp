#include "app/tools/vision/face_search_type.hpp"

#include <algorithm>
#include <array>
#include <string_view>
#include <sys/stat.h>

#include "system/file_path.hpp"

namespace lumenary::app {

namespace {

constexpr std::array<std::string_view, 7> videoFileExtensions = {"mp4", "mov", "avi", "mkv", "m4v", "3gp", "webm"};
// tif, gif and webp are left out on purpose: the folder search never read them.
constexpr std::array<std::string_view, 6> imageFileExtensions = {"jpg", "jpeg", "png", "heic", "bmp", "tiff"};

std::string lowerCasedExtension(const std::string& path) {
    auto extension = system::FilePath(path).extension().value_or("");
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char character) {
        return static_cast<char>(character >= 'A' && character <= 'Z' ? character - 'A' + 'a' : character);
    });
    return extension;
}

template <std::size_t count>
bool hasListedExtension(const std::array<std::string_view, count>& extensions, const std::string& extension) {
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

bool isDirectory(const std::string& path) {
    // Links are followed: a link to a folder is searched as one.
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::string detectSearchType(const std::string& path, const std::optional<std::string>& requestedType) {
    if (requestedType) {
        return *requestedType;
    }
    if (isDirectory(path)) {
        return "folder";
    }
    if (hasListedExtension(videoFileExtensions, lowerCasedExtension(path))) {
        return "video";
    }
    return "image";
}

bool hasImageFileExtension(const std::string& name) {
    return hasListedExtension(imageFileExtensions, lowerCasedExtension(name));
}

}  // namespace lumenary::app
