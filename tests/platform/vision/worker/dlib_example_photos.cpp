#include "platform/vision/worker/dlib_example_photos.hpp"

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "platform/vision/worker/image_loader.hpp"

namespace lumenary::vision_test {

namespace {

const std::filesystem::path examples = "/usr/share/doc/libdlib19.1/examples";

[[noreturn]] void missing(const std::filesystem::path& path) {
    throw std::runtime_error(path.string() + " is missing: install the package libdlib19.1 (scripts/setup installs "
                                             "libdlib-dev, which depends on it)");
}

std::string contents(const std::filesystem::path& path) {
    std::ifstream file(path);
    if (!file) {
        missing(path);
    }
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

std::vector<AnnotatedPhoto> annotatedFacePhotos() {
    std::vector<AnnotatedPhoto> photos;
    const std::regex image(R"(<image file='([^']+)'[^>]*>([\s\S]*?)</image>)");
    const std::regex box(R"(<box top='(-?\d+)' left='(-?\d+)' width='(\d+)' height='(\d+)')");
    for (const char* list : {"training.xml", "testing.xml"}) {
        const auto text = contents(examples / "faces" / list);
        for (std::sregex_iterator entry(text.begin(), text.end(), image), end; entry != end; ++entry) {
            AnnotatedPhoto photo{examples / "faces" / (*entry)[1].str(), {}};
            const auto boxes = (*entry)[2].str();
            for (std::sregex_iterator face(boxes.begin(), boxes.end(), box); face != end; ++face) {
                photo.faces.emplace_back(std::stoi((*face)[2]), std::stoi((*face)[1]), std::stoi((*face)[3]),
                                         std::stoi((*face)[4]));
            }
            photos.push_back(std::move(photo));
        }
    }
    return photos;
}

std::map<std::string, std::vector<std::filesystem::path>> identityPhotos() {
    const auto folder = examples / "johns";
    if (!std::filesystem::is_directory(folder)) {
        missing(folder);
    }
    std::map<std::string, std::vector<std::filesystem::path>> people;
    for (const auto& person : std::filesystem::directory_iterator(folder)) {
        auto& paths = people[person.path().filename().string()];
        for (const auto& file : std::filesystem::directory_iterator(person.path())) {
            paths.push_back(file.path());
        }
        std::sort(paths.begin(), paths.end());
    }
    return people;
}

cv::Mat photo(const std::filesystem::path& path) {
    if (!std::filesystem::exists(path)) {
        missing(path);
    }
    auto image = platform::vision::loadImage(path.string());
    if (!image) {
        throw std::runtime_error(image.error().description);
    }
    return image.value();
}

}  // namespace lumenary::vision_test
