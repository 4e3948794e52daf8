#include "platform/vision/worker/text_photos.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <optional>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/plain_ground_text.hpp"

namespace lumenary::vision_test {
namespace {

std::optional<cv::Mat> packagedPhoto(const std::string& path, std::vector<std::string>* missing) {
    const cv::Mat bgr = cv::imread(path, cv::IMREAD_COLOR);
    if (bgr.empty()) {
        if (missing != nullptr) {
            missing->push_back(path);
        }
        return std::nullopt;
    }
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    return rgb;
}

cv::Mat scaledTo(const cv::Mat& image, int longestSide) {
    const double scale = static_cast<double>(longestSide) / std::max(image.cols, image.rows);
    cv::Mat scaled;
    cv::resize(image, scaled, cv::Size(), scale, scale, scale > 1 ? cv::INTER_CUBIC : cv::INTER_AREA);
    return scaled;
}

void scatterClutter(cv::Mat& image, const cv::Rect& around, cv::RNG& random) {
    for (int piece = 0; piece < 14; ++piece) {
        const cv::Point at(random.uniform(std::max(0, around.x - around.width / 2),
                                          std::min(image.cols, around.br().x + around.width / 2)),
                           random.uniform(std::max(0, around.y - around.height), std::min(image.rows, around.br().y + around.height)));
        if (around.contains(at)) {
            continue;
        }
        const cv::Scalar colour(random.uniform(0, 255), random.uniform(0, 255), random.uniform(0, 255));
        const int size = random.uniform(6, std::max(7, around.height / 2));
        switch (piece % 3) {
            case 0:
                cv::line(image, at, at + cv::Point(random.uniform(-size * 3, size * 3), random.uniform(-size, size)),
                         colour, random.uniform(2, 6), cv::LINE_AA);
                break;
            case 1:
                cv::rectangle(image, cv::Rect(at, cv::Size(size, size / 2 + 2)), colour, cv::FILLED);
                break;
            default:
                cv::circle(image, at, size / 2 + 1, colour, cv::FILLED, cv::LINE_AA);
        }
    }
}

const std::string skimage = "/usr/lib/python3/dist-packages/skimage/data/";
const std::string darknet = "/usr/share/darknet/data/";
const std::string dlibFaces = "/usr/share/doc/libdlib19.1/examples/faces/";

FontFace face(const std::string& file, long index = 0) {
    if (file.ends_with(".ttc")) {
        return {"/usr/share/fonts/opentype/noto/" + file, index};
    }
    return {"/usr/share/fonts/truetype/dejavu/" + file, index};
}

struct PhotoCase {
    std::string name;
    std::string photo;
    int longestSide;
    SignDesign sign;
    std::vector<std::string> languages;
};

std::vector<PhotoCase> photoCases() {
    const FontFace sansBold = face("DejaVuSans-Bold.ttf");
    const FontFace sans = face("DejaVuSans.ttf");
    const FontFace serif = face("DejaVuSerif.ttf");
    const FontFace condensed = face("DejaVuSansCondensed-Bold.ttf");
    const FontFace mono = face("DejaVuSansMono.ttf");
    const FontFace chineseSans = face("NotoSansCJK-Bold.ttc", 2);
    const FontFace chineseSerif = face("NotoSerifCJK-Regular.ttc", 2);
    const cv::Scalar signWhite(250, 250, 250);
    const cv::Scalar signBlack(15, 15, 15);
    const cv::Scalar signRed(200, 30, 30);
    const cv::Scalar signGreen(20, 110, 60);
    const cv::Scalar signBlue(25, 60, 160);
    const cv::Scalar signYellow(240, 200, 40);
    return {
        {"parking notice by a rocket", skimage + "rocket.jpg", 1600,
         {{"NO PARKING", "TOW AWAY ZONE"}, sansBold, 44, signRed, signWhite, 4, 0.1, {0.3, 0.7}, true}, {"en-US"}},
        {"direction board on a street", darknet + "dog.jpg", 1600,
         {{"Main Street", "City Centre 2 km"}, sansBold, 40, signWhite, signGreen, -3, 0.15, {0.7, 0.2}, true}, {"en-US"}},
        {"barrier by the horses", darknet + "horses.jpg", 1280,
         {{"PRIVATE PROPERTY", "KEEP OUT"}, condensed, 36, signBlack, signYellow, 2, 0.0, {0.5, 0.85}, true}, {"en-US"}},
        {"shop front over people", dlibFaces + "2007_007763.jpg", 1500,
         {{"BAKERY", "Open daily from 7"}, serif, 42, signWhite, signBlue, -2, 0.05, {0.5, 0.12}, false}, {"en-US"}},
        {"receipt on a coffee table", skimage + "coffee.png", 1800,
         {{"Corner Cafe", "Latte 3.50", "Croissant 2.20", "Total 5.70"}, mono, 30, signBlack, signWhite, 6, 0.1, {0.75, 0.5},
          false},
         {"en-US"}},
        {"screen by a motorcycle", skimage + "motorcycle_left.png", 1480,
         {{"Speed limit 30", "Slow down"}, sans, 34, cv::Scalar(120, 255, 140), cv::Scalar(10, 20, 10), -5, 0.0,
          {0.3, 0.25}, true},
         {"en-US"}},
        {"book cover held by an astronaut", skimage + "astronaut.png", 1024,
         {{"The Silent", "Orbit"}, serif, 40, signYellow, cv::Scalar(90, 20, 30), 3, 0.1, {0.75, 0.7}, false}, {"en-US"}},
        {"small label on a cat photo", skimage + "chelsea.png", 900,
         {{"Fresh fish", "Net weight 400 g"}, sans, 22, signBlack, signWhite, -4, 0.0, {0.25, 0.8}, true}, {"en-US"}},
        {"museum label by a painting", darknet + "scream.jpg", 1200,
         {{"Edvard Munch", "Oil on board"}, serif, 26, signBlack, cv::Scalar(235, 230, 215), 1, 0.0, {0.8, 0.9}, false},
         {"en-US"}},
        {"zoo sign by a giraffe", darknet + "giraffe.jpg", 1400,
         {{"动物园入口", "请勿喂食"}, chineseSans, 48, signWhite, signGreen, 3, 0.1, {0.25, 0.25}, true}, {"zh-Hans"}},
        {"car park sign at a kite field", darknet + "kite.jpg", 1600,
         {{"停车场", "出口在右边"}, chineseSans, 52, signWhite, signBlue, -4, 0.05, {0.7, 0.75}, true}, {"zh-Hans"}},
        {"shop notice among people", darknet + "person.jpg", 1280,
         {{"今日营业时间", "早上九点到晚上十点"}, chineseSerif, 34, signBlack, signWhite, 2, 0.0, {0.5, 0.15}, false},
         {"zh-Hans"}},
    };
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char character) { return static_cast<char>(std::tolower(static_cast<unsigned char>(character))); });
    return text;
}

// Whether the UTF-8 sequence at `at` of `length` bytes is a Han character
// or a full-width mark (U+3000 to U+9FFF, U+FF00 to U+FFEF).
bool isSquareGlyph(const std::string& text, std::size_t at, std::size_t length) {
    if (length != 3) {
        return false;
    }
    const auto first = static_cast<unsigned char>(text[at]);
    const auto second = static_cast<unsigned char>(text[at + 1]);
    const unsigned point = ((first & 0x0fU) << 12) | ((second & 0x3fU) << 6) | (static_cast<unsigned char>(text[at + 2]) & 0x3fU);
    return (point >= 0x3000 && point <= 0x9fff) || (point >= 0xff00 && point <= 0xffef);
}

bool isMark(const std::string& piece) {
    if (piece.size() == 1) {
        return std::ispunct(static_cast<unsigned char>(piece[0])) != 0;
    }
    // Full-width marks and the CJK symbols block.
    return piece.size() == 3 && (piece.rfind("\xe3\x80", 0) == 0 || piece.rfind("\xef\xbc", 0) == 0);
}

// `photo` with `plate` turned, leaned and placed where `sign` says (its
// lines, face and colours unused), with clutter around it if asked.
cv::Mat photoWithPlate(const cv::Mat& photo, const cv::Mat& signImage, const SignDesign& sign, unsigned seed) {
    const cv::Point2f centre(static_cast<float>(sign.centre.x * photo.cols), static_cast<float>(sign.centre.y * photo.rows));
    const float width = static_cast<float>(signImage.cols);
    const float height = static_cast<float>(signImage.rows);
    const float narrowing = static_cast<float>(sign.lean) * height;
    std::vector<cv::Point2f> corners{{-width / 2, -height / 2 + narrowing / 2},
                                     {width / 2, -height / 2},
                                     {width / 2, height / 2},
                                     {-width / 2, height / 2 - narrowing / 2}};
    const double radians = sign.degrees * CV_PI / 180;
    for (cv::Point2f& corner : corners) {
        const float x = corner.x;
        const float y = corner.y;
        corner = centre + cv::Point2f(static_cast<float>(x * std::cos(radians) + y * std::sin(radians)),
                                      static_cast<float>(-x * std::sin(radians) + y * std::cos(radians)));
    }
    const std::vector<cv::Point2f> source{{0, 0}, {width, 0}, {width, height}, {0, height}};
    const cv::Mat transform = cv::getPerspectiveTransform(source, corners);
    cv::Mat warped;
    cv::Mat mask;
    cv::warpPerspective(signImage, warped, transform, photo.size(), cv::INTER_LINEAR);
    cv::warpPerspective(cv::Mat(signImage.size(), CV_8U, cv::Scalar(255)), mask, transform, photo.size(),
                        cv::INTER_LINEAR);
    cv::Mat result = photo.clone();
    warped.copyTo(result, mask);
    if (sign.clutter) {
        cv::RNG random(seed);
        std::vector<cv::Point> outline;
        for (const cv::Point2f& corner : corners) {
            outline.emplace_back(corner);
        }
        scatterClutter(result, cv::boundingRect(outline), random);
    }
    return result;
}


// A sign whose frame runs close around its text: `frameMargin` times the
// first line's ink height between the ink and the frame.
struct FramedSignCase {
    std::string photo;
    int longestSide;
    std::vector<std::string> lines;
    FontFace font;
    int pixelSize;
    cv::Scalar ink;    // RGB, the text's and the frame's
    cv::Scalar plate;  // RGB
    double frameMargin;
    int frameThickness;
    bool doubleFrame;
    bool rounded;
    double degrees;
    double lean;
    cv::Point2d centre;
};

void fillRoundedRect(cv::Mat& canvas, const cv::Rect& box, int radius, cv::Scalar colour) {
    const int r = std::max(0, std::min({radius, box.width / 2, box.height / 2}));
    if (r == 0) {
        cv::rectangle(canvas, box, colour, cv::FILLED);
        return;
    }
    cv::rectangle(canvas, cv::Rect(box.x + r, box.y, box.width - 2 * r, box.height), colour, cv::FILLED);
    cv::rectangle(canvas, cv::Rect(box.x, box.y + r, box.width, box.height - 2 * r), colour, cv::FILLED);
    for (const cv::Point centre : {cv::Point(box.x + r, box.y + r), cv::Point(box.br().x - 1 - r, box.y + r),
                                   cv::Point(box.x + r, box.br().y - 1 - r), cv::Point(box.br().x - 1 - r, box.br().y - 1 - r)}) {
        cv::circle(canvas, centre, r, colour, cv::FILLED, cv::LINE_AA);
    }
}

// A band `thickness` wide just inside `box`, its corners rounded by
// `radius` (0: square).
void drawFrame(cv::Mat& canvas, const cv::Rect& box, int thickness, int radius, cv::Scalar colour, cv::Scalar ground) {
    fillRoundedRect(canvas, box, radius, colour);
    const cv::Rect inside(box.x + thickness, box.y + thickness, box.width - 2 * thickness, box.height - 2 * thickness);
    fillRoundedRect(canvas, inside, std::max(0, radius - thickness), ground);
}

cv::Mat framedPlate(const FramedSignCase& sign) {
    std::vector<cv::Mat> inks;
    int width = 0;
    int height = 0;
    const int lineGap = sign.pixelSize / 3;
    for (const std::string& line : sign.lines) {
        inks.push_back(textCutToInk(line, sign.font, sign.pixelSize));
        width = std::max(width, inks.back().cols);
        height += inks.back().rows + (height == 0 ? 0 : lineGap);
    }
    const int margin = std::max(1, static_cast<int>(std::lround(sign.frameMargin * inks.front().rows)));
    const int thickness = sign.frameThickness;
    // A second frame outside the first, a frame's width apart.
    const int outerBand = sign.doubleFrame ? 2 * thickness : 0;
    const int border = std::max(4, sign.pixelSize / 4);
    const int room = margin + thickness + outerBand + border;
    cv::Mat plate(height + 2 * room, width + 2 * room, CV_8UC3, sign.plate);
    const cv::Rect inner(room - margin - thickness, room - margin - thickness, width + 2 * (margin + thickness),
                         height + 2 * (margin + thickness));
    const int radius = sign.rounded ? margin + thickness + sign.pixelSize / 6 : 0;
    if (sign.doubleFrame) {
        const cv::Rect outer(inner.x - outerBand, inner.y - outerBand, inner.width + 2 * outerBand,
                             inner.height + 2 * outerBand);
        drawFrame(plate, outer, thickness, radius == 0 ? 0 : radius + outerBand, sign.ink, sign.plate);
    }
    drawFrame(plate, inner, thickness, radius, sign.ink, sign.plate);
    int top = room;
    for (const cv::Mat& ink : inks) {
        drawInk(plate, ink, {room + (width - ink.cols) / 2, top}, sign.ink);
        top += ink.rows + lineGap;
    }
    return plate;
}

std::vector<FramedSignCase> framedSignCases() {
    const FontFace sansBold = face("DejaVuSans-Bold.ttf");
    const FontFace sans = face("DejaVuSans.ttf");
    const FontFace serif = face("DejaVuSerif.ttf");
    const FontFace condensed = face("DejaVuSansCondensed-Bold.ttf");
    const cv::Scalar white(250, 250, 250);
    const cv::Scalar black(20, 20, 20);
    const cv::Scalar red(190, 25, 25);
    const cv::Scalar green(20, 105, 55);
    const cv::Scalar blue(25, 60, 160);
    const cv::Scalar yellow(245, 205, 40);
    const cv::Scalar cream(240, 232, 210);
    return {
        {skimage + "rocket.jpg", 1400, {"NOTICE"}, sansBold, 48, black, white, 0.25, 3, false, false, 0, 0, {0.3, 0.6}},
        {darknet + "dog.jpg", 1400, {"AT ALL TIMES"}, sansBold, 36, red, white, 0.15, 2, false, false, 2, 0, {0.5, 0.2}},
        {darknet + "horses.jpg", 1400, {"PRIVATE"}, sansBold, 56, white, red, 0.3, 5, true, false, -3, 0, {0.7, 0.8}},
        {skimage + "coffee.png", 1400, {"priory lane"}, serif, 40, black, cream, 0.2, 3, false, true, 0, 0.1, {0.3, 0.3}},
        {darknet + "kite.jpg", 1400, {"Keep Left"}, sansBold, 44, white, blue, 0.12, 4, false, true, 4, 0, {0.6, 0.7}},
        {skimage + "astronaut.png", 1200, {"NO PARKING"}, sansBold, 52, red, white, 0.1, 6, false, false, 0, 0.15, {0.5, 0.8}},
        {darknet + "person.jpg", 1400, {"DELIVERIES ONLY"}, condensed, 32, black, yellow, 0.2, 3, true, false, -2, 0, {0.5, 0.15}},
        {skimage + "motorcycle_left.png", 1400, {"Fire Exit"}, sans, 40, white, green, 0.25, 4, false, true, 0, 0, {0.7, 0.3}},
        {darknet + "giraffe.jpg", 1400, {"WET FLOOR"}, sansBold, 64, black, yellow, 0.35, 6, false, false, 3, 0, {0.3, 0.75}},
        {skimage + "chelsea.png", 1200, {"Platform 2"}, sans, 36, white, blue, 0.15, 2, false, false, -2, 0.05, {0.7, 0.2}},
        {darknet + "scream.jpg", 1300, {"STAFF ONLY"}, sansBold, 28, black, white, 0.1, 2, false, false, 0, 0, {0.25, 0.85}},
        {darknet + "eagle.jpg", 1400, {"Visitors Car Park"}, serif, 30, white, green, 0.2, 3, true, true, 0, 0, {0.5, 0.85}},
        {skimage + "rocket.jpg", 1400, {"NO ENTRY"}, sansBold, 48, white, red, 0.3, 5, false, true, 0, 0.15, {0.7, 0.3}},
        {darknet + "dog.jpg", 1400, {"Reception"}, sans, 40, black, white, 0.18, 3, false, false, -4, 0, {0.3, 0.75}},
        {darknet + "horses.jpg", 1400, {"KEEP CLEAR", "AT ALL TIMES"}, sansBold, 40, red, white, 0.2, 4, true, false, 2, 0,
         {0.3, 0.3}},
        {skimage + "coffee.png", 1400, {"Toilets"}, sans, 28, black, white, 0.35, 2, false, true, -4, 0, {0.75, 0.75}},
    };
}

}  // namespace

cv::Mat photoWithSign(const cv::Mat& photo, const SignDesign& sign, unsigned seed) {
    const cv::Mat drawn = renderedText(sign.lines, sign.font, sign.pixelSize);
    // The rendering's grey is the ink's coverage: white ground, black ink.
    cv::Mat coverage;
    cv::cvtColor(drawn, coverage, cv::COLOR_RGB2GRAY);
    coverage.convertTo(coverage, CV_32F, -1.0 / 255, 1.0);
    cv::Mat plate(drawn.size(), CV_32FC3, sign.plate);
    const cv::Mat ink(drawn.size(), CV_32FC3, sign.ink);
    cv::Mat coverage3;
    cv::merge(std::vector<cv::Mat>{coverage, coverage, coverage}, coverage3);
    plate = plate.mul(cv::Scalar::all(1) - coverage3) + ink.mul(coverage3);
    cv::Mat signImage;
    plate.convertTo(signImage, CV_8UC3);
    return photoWithPlate(photo, signImage, sign, seed);
}

std::vector<LabelledTextPhoto> labelledTextPhotos(std::vector<std::string>* missing) {
    std::vector<LabelledTextPhoto> photos;
    unsigned seed = 1;
    for (const PhotoCase& photoCase : photoCases()) {
        const auto photo = packagedPhoto(photoCase.photo, missing);
        if (!photo) {
            continue;
        }
        photos.push_back({photoCase.name, photoWithSign(scaledTo(*photo, photoCase.longestSide), photoCase.sign, seed++),
                          photoCase.sign.lines, photoCase.languages});
    }
    return photos;
}

std::vector<LabelledTextPhoto> framedSignsOnPhotos(std::vector<std::string>* missing) {
    std::vector<LabelledTextPhoto> photos;
    unsigned seed = 101;
    for (const FramedSignCase& sign : framedSignCases()) {
        const auto photo = packagedPhoto(sign.photo, missing);
        if (!photo) {
            continue;
        }
        SignDesign placement;
        placement.degrees = sign.degrees;
        placement.lean = sign.lean;
        placement.centre = sign.centre;
        std::string name;
        for (const std::string& line : sign.lines) {
            name += (name.empty() ? "" : " / ") + line;
        }
        photos.push_back({name, photoWithPlate(scaledTo(*photo, sign.longestSide), framedPlate(sign), placement, seed++),
                          sign.lines, {"en-US"}});
    }
    return photos;
}

std::vector<std::string> wordsOf(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    const auto endWord = [&] {
        if (!word.empty()) {
            words.push_back(lowerCase(word));
            word.clear();
        }
    };
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
        const std::string piece = text.substr(at, length);
        if (std::isspace(lead) != 0) {
            endWord();
        } else if (isSquareGlyph(text, at, std::min(length, text.size() - at))) {
            endWord();
            if (!isMark(piece)) {
                words.push_back(piece);
            }
        } else {
            word += piece;
        }
        at += length;
    }
    endWord();
    // Marks at either end of a word are not part of it.
    for (std::string& each : words) {
        while (!each.empty() && std::ispunct(static_cast<unsigned char>(each.back())) != 0) {
            each.pop_back();
        }
        while (!each.empty() && std::ispunct(static_cast<unsigned char>(each.front())) != 0) {
            each.erase(0, 1);
        }
    }
    words.erase(std::remove(words.begin(), words.end(), std::string()), words.end());
    return words;
}

int wordsInCommon(const std::vector<std::string>& expected, const std::vector<std::string>& read) {
    std::map<std::string, int> left;
    for (const std::string& word : read) {
        ++left[word];
    }
    int common = 0;
    for (const std::string& word : expected) {
        if (left[word] > 0) {
            --left[word];
            ++common;
        }
    }
    return common;
}

}  // namespace lumenary::vision_test
