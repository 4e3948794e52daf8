#include "vision_subject_cases.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"
#include "vision_bench_measures.hpp"

namespace lumenary::vision_bench {

namespace {

using namespace lumenary::platform::vision;

const std::filesystem::path skimage = "/usr/lib/python3/dist-packages/skimage/data";
const std::filesystem::path darknet = "/usr/share/darknet/data";
const std::filesystem::path dlibFaces = "/usr/share/doc/libdlib19.1/examples/faces";

// One thing a person would point at, as the boxes they would draw around
// it (pixels, origin top left): a person's body or face, a cup with or
// without its saucer.
struct Subject {
    std::vector<cv::Rect> boxes;
};

// A cat or a dog, boxed by hand.
struct Animal {
    const char* label;
    cv::Rect box;
};

struct LabelledImage {
    std::string name;
    cv::Mat rgb;
    std::vector<Subject> subjects;
    std::vector<Animal> animals;
};

std::optional<cv::Mat> packaged(const std::filesystem::path& path) {
    const cv::Mat bgr = cv::imread(path.string(), cv::IMREAD_COLOR);
    if (bgr.empty()) {
        std::printf("skipped: %s is missing\n", path.c_str());
        return std::nullopt;
    }
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    return rgb;
}

// A part of a photo with what it holds, for a collage.
struct Panel {
    cv::Mat rgb;
    std::vector<Subject> subjects;
    std::vector<Animal> animals;
};

cv::Rect scaled(const cv::Rect& box, double scale, cv::Point offset) {
    return {static_cast<int>(box.x * scale) + offset.x, static_cast<int>(box.y * scale) + offset.y,
            static_cast<int>(box.width * scale), static_cast<int>(box.height * scale)};
}

// Panels side by side at one height, the whole shrunk to `width`.
LabelledImage collage(std::string name, const std::vector<Panel>& panels, int width) {
    const int height = panels.front().rgb.rows;
    std::vector<cv::Mat> row;
    std::vector<double> scales;
    std::vector<int> lefts;
    int left = 0;
    for (const auto& panel : panels) {
        const double scale = static_cast<double>(height) / panel.rgb.rows;
        cv::Mat resized;
        cv::resize(panel.rgb, resized, {static_cast<int>(panel.rgb.cols * scale), height}, 0, 0, cv::INTER_AREA);
        row.push_back(resized);
        scales.push_back(scale);
        lefts.push_back(left);
        left += resized.cols;
    }
    cv::Mat joined;
    cv::hconcat(row, joined);
    const double shrink = static_cast<double>(width) / joined.cols;
    LabelledImage image{std::move(name), {}, {}, {}};
    cv::resize(joined, image.rgb, {width, static_cast<int>(joined.rows * shrink)}, 0, 0, cv::INTER_AREA);
    for (std::size_t index = 0; index < panels.size(); ++index) {
        for (const auto& subject : panels[index].subjects) {
            Subject moved;
            for (const auto& box : subject.boxes) {
                moved.boxes.push_back(
                    scaled(scaled(box, scales[index], {lefts[index], 0}), shrink, {0, 0}));
            }
            image.subjects.push_back(moved);
        }
        for (const auto& animal : panels[index].animals) {
            image.animals.push_back(
                {animal.label, scaled(scaled(animal.box, scales[index], {lefts[index], 0}), shrink, {0, 0})});
        }
    }
    return image;
}

// The panel of `rgb` inside `part`, with the animals of the photo (in its
// pixels) that lie in it.
Panel panelOf(const cv::Mat& rgb, const cv::Rect& part, std::vector<Animal> animals) {
    Panel panel{rgb(part).clone(), {}, {}};
    for (auto& animal : animals) {
        if ((animal.box & part).area() * 2 < animal.box.area()) {
            continue;
        }
        animal.box = (animal.box & part) - part.tl();
        panel.subjects.push_back({{animal.box}});
        panel.animals.push_back(animal);
    }
    return panel;
}

std::vector<LabelledImage> labelledSet() {
    std::vector<LabelledImage> set;
    const auto add = [&](const std::string& name, const std::optional<cv::Mat>& rgb, std::vector<Subject> subjects,
                         std::vector<Animal> animals) {
        if (rgb) {
            set.push_back({name, *rgb, std::move(subjects), std::move(animals)});
        }
    };
    const auto chelsea = packaged(skimage / "chelsea.png");
    const Animal cat{"Cat", {15, 0, 390, 300}};
    add("chelsea.png", chelsea, {{{cat.box}}}, {cat});
    if (chelsea) {
        // The cat's head, edge to edge.
        const Animal filling{"Cat", {0, 0, 300, 300}};
        add("chelsea's head, edge to edge", cv::Mat((*chelsea)(cv::Rect(60, 0, 300, 300))), {{{filling.box}}},
            {filling});
    }
    add("astronaut.png", packaged(skimage / "astronaut.png"),
        {{{{20, 15, 345, 497}, {175, 55, 100, 110}}}, {{{275, 340, 237, 172}}}, {{{355, 0, 110, 285}}}}, {});
    const auto dogPhoto = packaged(darknet / "dog.jpg");
    const Animal dogOnPorch{"Dog", {130, 220, 175, 320}};
    add("dog.jpg", dogPhoto, {{{dogOnPorch.box}}, {{{125, 135, 445, 285}}}, {{{465, 60, 220, 110}}}}, {dogOnPorch});
    const Animal dogInField{"Dog", {68, 262, 137, 80}};
    add("person.jpg", packaged(darknet / "person.jpg"),
        {{{{192, 98, 80, 277}}}, {{dogInField.box}}, {{{405, 140, 197, 205}}}}, {dogInField});
    add("horses.jpg", packaged(darknet / "horses.jpg"),
        {{{{0, 195, 315, 213}}}, {{{232, 195, 186, 163}}}, {{{438, 212, 157, 134}}}, {{{0, 188, 155, 157}}}}, {});
    add("eagle.jpg", packaged(darknet / "eagle.jpg"), {{{{135, 88, 465, 362}}}}, {});
    add("giraffe.jpg", packaged(darknet / "giraffe.jpg"), {{{{168, 30, 280, 410}}}, {{{248, 205, 177, 223}}}}, {});
    add("motorcycle_left.png", packaged(skimage / "motorcycle_left.png"),
        {{{{90, 70, 595, 380}}}, {{{40, 105, 245, 200}}}}, {});
    add("coffee.png", packaged(skimage / "coffee.png"), {{{{170, 15, 250, 290}, {75, 15, 405, 375}}}}, {});
    // The rocket, or the rocket with the pad it stands on.
    add("rocket.jpg", packaged(skimage / "rocket.jpg"), {{{{300, 125, 45, 285}, {265, 125, 130, 302}}}}, {});
    const auto dogs = packaged(dlibFaces / "dogs.jpg");
    const std::vector<Animal> fourDogs = {{"Dog", {20, 0, 440, 452}},
                                          {"Dog", {465, 80, 405, 372}},
                                          {"Dog", {90, 495, 290, 421}},
                                          {"Dog", {462, 462, 378, 454}}};
    if (dogs) {
        std::vector<Subject> subjects;
        for (const auto& dog : fourDogs) {
            subjects.push_back({{dog.box}});
        }
        add("dogs.jpg", dogs, subjects, fourDogs);
        const cv::Rect topLeft(0, 0, 462, 452), topRight(462, 0, 438, 452);
        const cv::Rect bottomLeft(0, 462, 462, 454), bottomRight(462, 462, 438, 454);
        set.push_back(collage("two dogs side by side, 690 px",
                              {panelOf(*dogs, topLeft, fourDogs), panelOf(*dogs, topRight, fourDogs)}, 690));
        set.push_back(collage("two dogs side by side, 480 px",
                              {panelOf(*dogs, bottomLeft, fourDogs), panelOf(*dogs, bottomRight, fourDogs)}, 480));
        set.push_back(collage("three dogs in a row, 900 px",
                              {panelOf(*dogs, topRight, fourDogs), panelOf(*dogs, bottomLeft, fourDogs),
                               panelOf(*dogs, bottomRight, fourDogs)},
                              900));
        if (chelsea && dogPhoto) {
            set.push_back(collage("cat, dog and dog, 640 px",
                                  {panelOf(*chelsea, {0, 0, 451, 300}, {cat}),
                                   panelOf(*dogPhoto, {100, 190, 240, 376}, {dogOnPorch}),
                                   panelOf(*dogs, bottomLeft, fourDogs)},
                                  640));
        }
    }
    // A drawn scene that none of the networks knows: two shapes on a
    // textured wall.
    LabelledImage shapes{"drawn disc and block", cv::Mat(600, 800, CV_8UC3), {}, {}};
    cv::RNG(7).fill(shapes.rgb, cv::RNG::UNIFORM, cv::Scalar::all(118), cv::Scalar::all(138));
    cv::circle(shapes.rgb, {230, 250}, 110, cv::Scalar(230, 20, 20), cv::FILLED);
    cv::rectangle(shapes.rgb, cv::Rect(480, 300, 220, 170), cv::Scalar(60, 80, 190), cv::FILLED);
    shapes.subjects = {{{{120, 140, 221, 221}}}, {{{480, 300, 220, 170}}}};
    set.push_back(shapes);
    return set;
}

cv::Rect2d pixelsOf(const NormalizedRect& box, cv::Size size) {
    return {box.x * size.width, (1.0 - box.y - box.height) * size.height, box.width * size.width,
            box.height * size.height};
}

double intersectionOverUnion(const cv::Rect2d& first, const cv::Rect2d& second) {
    const double shared = (first & second).area();
    const double united = first.area() + second.area() - shared;
    return united > 0 ? shared / united : 0;
}

// Right when it overlaps one of the subject's boxes by half (IoU).
constexpr double matchingOverlap = 0.5;
constexpr double animalOverlap = 0.4;

// Attention names a point of interest: right when it lies on a subject, as
// a part of it (centred in one of its boxes and mostly inside it) or the
// whole of it, and is no speck.
bool liesOn(const cv::Rect2d& region, const cv::Rect2d& subject) {
    const cv::Point2d centre(region.x + region.width / 2, region.y + region.height / 2);
    return (subject.contains(centre) && (region & subject).area() >= 0.8 * region.area()) ||
           intersectionOverUnion(region, subject) >= matchingOverlap;
}

bool matches(const cv::Rect2d& region, const Subject& subject, bool attention, cv::Size size) {
    return std::any_of(subject.boxes.begin(), subject.boxes.end(), [&](const cv::Rect& box) {
        return attention ? liesOn(region, cv::Rect2d(box)) && region.area() >= 0.01 * size.area()
                         : intersectionOverUnion(region, cv::Rect2d(box)) >= matchingOverlap;
    });
}

struct Tally {
    int found = 0;
    int right = 0;
    int labelled = 0;
    int recalled = 0;
    int wholeFrames = 0;
    int specks = 0;

    void print(const char* tool) const {
        std::printf("%-24s %6d %6d %9.2f %8d %8d %7.2f %6d %6d\n", tool, found, right,
                    found > 0 ? static_cast<double>(right) / found : 0.0, labelled, recalled,
                    labelled > 0 ? static_cast<double>(recalled) / labelled : 0.0, wholeFrames, specks);
    }
};

std::vector<SalientObject> regionsOf(const std::vector<SaliencyObservation>& observations) {
    std::vector<SalientObject> regions;
    for (const auto& observation : observations) {
        if (observation.salientObjects) {
            regions.insert(regions.end(), observation.salientObjects->begin(), observation.salientObjects->end());
        }
    }
    return regions;
}

void tallySaliency(Tally& tally, const LabelledImage& image, const std::vector<SalientObject>& regions,
                   bool attention, bool verbose) {
    std::vector<bool> recalled(image.subjects.size(), false);
    for (const auto& region : regions) {
        const auto box = pixelsOf(region.boundingBox, image.rgb.size());
        ++tally.found;
        bool right = false;
        for (std::size_t index = 0; index < image.subjects.size(); ++index) {
            if (matches(box, image.subjects[index], attention, image.rgb.size())) {
                right = true;
                recalled[index] = true;
            }
        }
        tally.right += right ? 1 : 0;
        const double share = box.area() / image.rgb.size().area();
        tally.wholeFrames += share >= 0.9 ? 1 : 0;
        tally.specks += share < 0.005 ? 1 : 0;
        if (verbose) {
            std::printf("    %s %.2f  (%.0f, %.0f, %.0f x %.0f)%s\n", attention ? "attention " : "objectness",
                        region.confidence, box.x, box.y, box.width, box.height, right ? "  right" : "");
        }
    }
    // Attention names one subject: it recalls the image when it is right.
    tally.labelled += attention ? 1 : static_cast<int>(image.subjects.size());
    tally.recalled += attention ? (std::count(recalled.begin(), recalled.end(), true) > 0 ? 1 : 0)
                                : static_cast<int>(std::count(recalled.begin(), recalled.end(), true));
}

void tallyAnimals(Tally& tally, const LabelledImage& image, const std::vector<AnimalObservation>& animals,
                  bool verbose) {
    std::vector<bool> recalled(image.animals.size(), false);
    for (const auto& animal : animals) {
        const auto box = pixelsOf(animal.boundingBox, image.rgb.size());
        const std::string label = animal.labels.empty() ? "" : animal.labels.front().identifier;
        ++tally.found;
        bool right = false;
        for (std::size_t index = 0; index < image.animals.size() && !right; ++index) {
            if (!recalled[index] && label == image.animals[index].label &&
                intersectionOverUnion(box, cv::Rect2d(image.animals[index].box)) >= animalOverlap) {
                right = true;
                recalled[index] = true;
            }
        }
        tally.right += right ? 1 : 0;
        if (verbose) {
            std::printf("    animal %s %.2f  (%.0f, %.0f, %.0f x %.0f)%s\n", label.c_str(),
                        animal.labels.empty() ? 0.0f : animal.labels.front().confidence, box.x, box.y, box.width,
                        box.height, right ? "  right" : "");
        }
    }
    tally.labelled += static_cast<int>(image.animals.size());
    tally.recalled += static_cast<int>(std::count(recalled.begin(), recalled.end(), true));
}

}  // namespace

void benchmarkSubjectCases(const std::filesystem::path& folder, const std::string& workerProgram, bool verbose) {
    std::printf("\nsaliency and animals on a labelled set, through the worker program\n");
    const auto set = labelledSet();
    const auto analyzer = makeWorkerVisionAnalyzer({workerProgram, std::chrono::milliseconds(60'000)});
    Tally objectness, attention, animals;
    int index = 0;
    for (const auto& image : set) {
        const auto path = vision_test::writtenImage(folder / ("labelled-" + std::to_string(index++) + ".png"),
                                                    image.rgb);
        if (verbose) {
            std::printf("  %s (%d x %d)\n", image.name.c_str(), image.rgb.cols, image.rgb.rows);
        }
        const auto objects = analyzer->analyzeSaliency(path, SaliencyKind::objectness);
        require(objects, "objectness");
        tallySaliency(objectness, image, regionsOf(objects.value()), false, verbose);
        const auto eye = analyzer->analyzeSaliency(path, SaliencyKind::attention);
        require(eye, "attention");
        tallySaliency(attention, image, regionsOf(eye.value()), true, verbose);
        const auto found = analyzer->recognizeAnimals(path);
        require(found, "animals");
        tallyAnimals(animals, image, found.value(), verbose);
    }
    std::printf("%zu images; an objectness region is right when it overlaps a labelled subject by IoU %.1f or\n"
                "more, an attention region when it lies on one (centred in it, 80 %% inside, 1 %% of the frame or\n"
                "more, or the subject by IoU 0.5), an animal when it overlaps a labelled animal of its label by IoU %.1f; whole: regions of\n"
                "90 %% of the frame or more; specks: under 0.5 %%\n",
                set.size(), matchingOverlap, animalOverlap);
    std::printf("%-24s %6s %6s %9s %8s %8s %7s %6s %6s\n", "tool", "found", "right", "precision", "labelled",
                "recalled", "recall", "whole", "specks");
    objectness.print("saliency (objectness)");
    attention.print("saliency (attention)");
    animals.print("animals");
}

}  // namespace lumenary::vision_bench
