#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/networks/vision_network_store.hpp"

// Photos that Debian packages ship (scripts/setup installs them), and the
// vision networks scripts/setup fetches. A test that needs one that is
// missing (a minimal system may drop /usr/share/doc) skips, saying which.
namespace lumenary::vision_test {

struct PackagedPhoto {
    std::filesystem::path path;
    const char* package;
};

inline const PackagedPhoto chelseaTheCat{"/usr/lib/python3/dist-packages/skimage/data/chelsea.png", "python3-skimage"};
inline const PackagedPhoto rocketOnItsPad{"/usr/lib/python3/dist-packages/skimage/data/rocket.jpg", "python3-skimage"};
inline const PackagedPhoto astronaut{"/usr/lib/python3/dist-packages/skimage/data/astronaut.png", "python3-skimage"};
inline const PackagedPhoto dogWithBicycle{"/usr/share/darknet/data/dog.jpg", "darknet"};
inline const PackagedPhoto horses{"/usr/share/darknet/data/horses.jpg", "darknet"};
inline const PackagedPhoto eagle{"/usr/share/darknet/data/eagle.jpg", "darknet"};
inline const PackagedPhoto personWithDogAndHorse{"/usr/share/darknet/data/person.jpg", "darknet"};
inline const PackagedPhoto fourDogs{"/usr/share/doc/libdlib19.1/examples/faces/dogs.jpg", "libdlib19.1"};
inline const PackagedPhoto sevenPeople{"/usr/share/doc/libdlib19.1/examples/faces/2007_007763.jpg", "libdlib19.1"};

// The photo as 8-bit RGB; nothing when it is not installed.
inline std::optional<cv::Mat> photoOf(const PackagedPhoto& photo) {
    const cv::Mat bgr = cv::imread(photo.path.string(), cv::IMREAD_COLOR);
    if (bgr.empty()) {
        return std::nullopt;
    }
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    return rgb;
}

inline std::string missingPhoto(const PackagedPhoto& photo) {
    return photo.path.string() + " is missing: install the package " + photo.package + " (scripts/setup does)";
}

// Why the networks cannot be used, or nothing when they are all there.
inline std::optional<std::string> missingNetworks() {
    const auto folder = platform::vision::visionNetworksFolder();
    for (const char* name : {"nanodet", "posenet"}) {
        if (!std::filesystem::is_regular_file(folder / (std::string(name) + ".json"))) {
            return "the vision networks are not in " + folder.string() + ": run scripts/setup to fetch them";
        }
    }
    return std::nullopt;
}

}  // namespace lumenary::vision_test

// Skips the test when the networks or the photo are missing; else `image`
// holds the photo.
#define LUMENARY_PACKAGED_PHOTO(image, photo)                             \
    if (const auto missing = ::lumenary::vision_test::missingNetworks()) { \
        GTEST_SKIP() << *missing;                                         \
    }                                                                     \
    const auto image##Loaded = ::lumenary::vision_test::photoOf(photo);   \
    if (!image##Loaded) {                                                 \
        GTEST_SKIP() << ::lumenary::vision_test::missingPhoto(photo);     \
    }                                                                     \
    const cv::Mat& image = *image##Loaded
