#include "platform/vision/worker/plain_ground_text.hpp"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/image_files.hpp"

namespace lumenary::vision_test {
namespace {

const std::string dejaVuFolder = "/usr/share/fonts/truetype/dejavu/";

// The box around the pixels darker than the middle grey; the whole image
// when there are none.
cv::Rect inkBox(const cv::Mat& rgb) {
    cv::Mat grey;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    cv::Mat ink;
    cv::threshold(grey, ink, 160, 255, cv::THRESH_BINARY_INV);
    const cv::Rect box = cv::boundingRect(ink);
    return box.empty() ? cv::Rect(0, 0, rgb.cols, rgb.rows) : box;
}

}  // namespace

void drawInk(cv::Mat& canvas, const cv::Mat& ink, cv::Point at, cv::Scalar colour) {
    for (int row = 0; row < ink.rows; ++row) {
        for (int column = 0; column < ink.cols; ++column) {
            const int x = at.x + column;
            const int y = at.y + row;
            if (x < 0 || y < 0 || x >= canvas.cols || y >= canvas.rows) {
                continue;
            }
            const double coverage = 1.0 - ink.at<cv::Vec3b>(row, column)[0] / 255.0;
            auto& pixel = canvas.at<cv::Vec3b>(y, x);
            for (int channel = 0; channel < 3; ++channel) {
                pixel[channel] = cv::saturate_cast<uchar>(pixel[channel] * (1 - coverage) + colour[channel] * coverage);
            }
        }
    }
}

cv::Mat croppedToInk(const cv::Mat& image, int margin) {
    const cv::Mat cut = image(inkBox(image)).clone();
    cv::Mat framed;
    cv::copyMakeBorder(cut, framed, margin, margin, margin, margin, cv::BORDER_CONSTANT, cv::Scalar(255, 255, 255));
    return framed;
}

cv::Mat textCutToInk(const std::string& text, const FontFace& face, int pixelSize) {
    return croppedToInk(renderedText({text}, face, pixelSize), 0);
}

std::vector<std::pair<std::string, FontFace>> installedLatinFaces() {
    const std::vector<std::pair<std::string, FontFace>> faces{
        {"DejaVu Sans", {dejaVuFolder + "DejaVuSans.ttf", 0}},
        {"DejaVu Sans Bold", {dejaVuFolder + "DejaVuSans-Bold.ttf", 0}},
        {"DejaVu Serif", {dejaVuFolder + "DejaVuSerif.ttf", 0}},
        {"DejaVu Sans Mono", {dejaVuFolder + "DejaVuSansMono.ttf", 0}},
        {"Lato", {"/usr/share/fonts/truetype/lato/Lato-Regular.ttf", 0}},
    };
    std::vector<std::pair<std::string, FontFace>> installed;
    std::copy_if(faces.begin(), faces.end(), std::back_inserter(installed),
                 [](const auto& face) { return static_cast<bool>(std::ifstream(face.second.path)); });
    return installed;
}

std::vector<std::pair<std::string, FontFace>> installedOtherMonospaceFaces() {
    const std::vector<std::pair<std::string, FontFace>> faces{
        {"Liberation Mono", {"/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf", 0}},
        {"Noto Mono", {"/usr/share/fonts/truetype/noto/NotoMono-Regular.ttf", 0}},
        {"Hack", {"/usr/share/fonts/truetype/hack/Hack-Regular.ttf", 0}},
    };
    std::vector<std::pair<std::string, FontFace>> installed;
    std::copy_if(faces.begin(), faces.end(), std::back_inserter(installed),
                 [](const auto& face) { return static_cast<bool>(std::ifstream(face.second.path)); });
    return installed;
}

std::vector<LabelledTextImage> tableRowsAndPipelines(const FontFace& face, int pixelSize) {
    static const std::vector<std::string> lines{
        "| Name | Size | Owner |",
        "| Path | Mode | Modified |",
        "| Key | Value | Default |",
        "| Host | Port | Status | Uptime |",
        "| Option | Description |",
        "ls /etc | grep conf | sort -r",
        "ps -ef | grep ssh | wc -l",
        "cat access.log | cut -d ' ' -f 1 | sort | uniq -c",
        "dmesg | tail -n 20",
        "history | grep git | head",
        "env | sort | less",
    };
    std::vector<LabelledTextImage> images;
    for (const std::string& line : lines) {
        images.push_back({line, renderedText({line}, face, pixelSize), {line}});
    }
    return images;
}

std::vector<LabelledTextImage> closelyCroppedLines(const FontFace& face, int pixelSize, double marginPerHeight) {
    static const std::vector<std::string> lines{
        "you can get when using this warning is:",
        "Print the version number and exit.",
        "Write the output to FILE instead of standard output.",
        "Skip files that are newer than the copy in the folder.",
        "Do not follow symbolic links when listing directories,",
        "the default is 4096 bytes; use 0 for no limit.",
        "Read the list of names from a file, one per line.",
        "Exit status is 0 if all input was read, 2 on error.",
    };
    std::vector<LabelledTextImage> images;
    for (const std::string& line : lines) {
        const cv::Mat ink = textCutToInk(line, face, pixelSize);
        const int margin = static_cast<int>(std::lround(marginPerHeight * ink.rows));
        cv::Mat framed;
        cv::copyMakeBorder(ink, framed, margin, margin, margin, margin, cv::BORDER_CONSTANT, cv::Scalar(255, 255, 255));
        images.push_back({line, framed, {line}});
    }
    return images;
}

LabelledTextImage dialogScreen(unsigned seed) {
    static const std::vector<std::string> labels{"Width:",  "Height:", "Columns:", "Copies:", "Border:", "Units:",
                                                 "Quality:", "Delay:", "Retries:", "Port:",   "Scale:",  "Level:"};
    static const std::vector<std::string> values{"5",  "511", "8",   "4",   "0",  "12",   "96", "100", "3",
                                                 "px", "mm",  "on",  "no",  "7",  "X: 0", "2",  "64",  "Y: 12"};
    cv::RNG random(seed);
    // Programs draw their dialogs in a plain sans face.
    std::vector<FontFace> faces;
    for (const auto& [name, face] : installedLatinFaces()) {
        if (name == "DejaVu Sans" || name == "Lato") {
            faces.push_back(face);
        }
    }
    const FontFace face = faces[static_cast<std::size_t>(random.uniform(0, 2)) % faces.size()];
    const int pixelSize = random.uniform(13, 17);
    const int rows = random.uniform(4, 7);
    const int rowHeight = pixelSize * 2 + 6;
    cv::Mat screen(rows * rowHeight + 24, 420, CV_8UC3, cv::Scalar(236, 236, 236));
    LabelledTextImage dialog{"dialog " + std::to_string(seed), {}, {}};
    for (int row = 0; row < rows; ++row) {
        const std::string& label = labels[static_cast<std::size_t>(random.uniform(0, static_cast<int>(labels.size())))];
        const std::string& value = values[static_cast<std::size_t>(random.uniform(0, static_cast<int>(values.size())))];
        const bool spinBox = random.uniform(0, 2) == 1;
        const int top = 12 + row * rowHeight;
        const cv::Mat labelInk = textCutToInk(label, face, pixelSize);
        const cv::Mat valueInk = textCutToInk(value, face, pixelSize);
        const int fieldHeight = pixelSize + 12;
        const int fieldTop = top + (rowHeight - fieldHeight) / 2;
        drawInk(screen, labelInk, {16, fieldTop + (fieldHeight - labelInk.rows) / 2});
        const cv::Rect field(150, fieldTop, random.uniform(60, 180), fieldHeight);
        cv::rectangle(screen, field, cv::Scalar(255, 255, 255), cv::FILLED);
        cv::rectangle(screen, field, cv::Scalar(150, 150, 150), 1);
        const int valueTop = fieldTop + (fieldHeight - valueInk.rows) / 2;
        if (spinBox) {
            // The arrows' buttons at the field's right end; the value
            // stands right-aligned beside them, as spin boxes show numbers.
            const cv::Rect buttons(field.br().x - 18, field.y + 1, 17, field.height - 2);
            cv::rectangle(screen, buttons, cv::Scalar(225, 225, 225), cv::FILLED);
            const int middle = buttons.y + buttons.height / 2;
            const std::vector<std::vector<cv::Point>> arrows{
                {{buttons.x + 4, middle - 3}, {buttons.x + 13, middle - 3}, {buttons.x + 8, middle - 8}},
                {{buttons.x + 4, middle + 3}, {buttons.x + 13, middle + 3}, {buttons.x + 8, middle + 8}}};
            cv::fillPoly(screen, arrows, cv::Scalar(70, 70, 70), cv::LINE_AA);
            drawInk(screen, valueInk, {buttons.x - 6 - valueInk.cols, valueTop});
        } else {
            drawInk(screen, valueInk, {field.x + 6, valueTop});
        }
        dialog.lines.push_back(value);
    }
    dialog.image = screen;
    return dialog;
}

LabelledTextImage dialogOnScreen(unsigned seed) {
    LabelledTextImage screen = dialogScreen(seed);
    const cv::Mat dialog = screen.image;
    screen.image = cv::Mat(1080, 1920, CV_8UC3, cv::Scalar(236, 236, 236));
    dialog.copyTo(screen.image(cv::Rect({740, 380}, dialog.size())));
    return screen;
}

std::vector<LabelledTextImage> framedSigns() {
    struct Sign {
        std::vector<std::string> lines;
        double frameMargin;  // times the text's height
        int frameThickness;
        cv::Scalar ink;
        cv::Scalar plate;
        bool onPhoto;
    };
    const std::vector<Sign> signs{
        {{"NOTICE"}, 0.25, 3, {20, 20, 20}, {250, 250, 245}, false},
        {{"DOUBLE ROOM"}, 0.15, 4, {30, 30, 90}, {245, 240, 225}, false},
        {{"PARKING"}, 0.2, 6, {255, 255, 255}, {30, 70, 160}, true},
        {{"copy centre"}, 0.3, 2, {20, 20, 20}, {235, 235, 235}, false},
        {{"EXIT ONLY"}, 0.2, 5, {255, 255, 255}, {20, 120, 50}, true},
        {{"Staff Only"}, 0.35, 3, {40, 40, 40}, {240, 220, 120}, true},
        {{"KEEP CLEAR"}, 0.12, 4, {180, 20, 20}, {250, 250, 250}, false},
        {{"Fire Door", "Keep Shut"}, 0.25, 4, {255, 255, 255}, {30, 60, 150}, true},
        {{"Room 204"}, 0.2, 2, {20, 20, 20}, {250, 250, 250}, false},
        {{"NO ENTRY"}, 0.3, 6, {200, 20, 20}, {255, 255, 255}, true},
    };
    std::vector<std::pair<std::string, FontFace>> faces = installedLatinFaces();
    const FontFace bold = faces.size() > 1 ? faces[1].second : faces[0].second;
    std::vector<LabelledTextImage> images;
    unsigned seed = 7;
    for (const Sign& sign : signs) {
        const int pixelSize = 48;
        std::vector<cv::Mat> inks;
        int width = 0;
        int height = 0;
        for (const std::string& line : sign.lines) {
            inks.push_back(textCutToInk(line, bold, pixelSize));
            width = std::max(width, inks.back().cols);
            height += inks.back().rows + (height == 0 ? 0 : pixelSize / 2);
        }
        const int margin = std::max(2, static_cast<int>(sign.frameMargin * pixelSize));
        const int plateRoom = 2 * margin + 2 * sign.frameThickness + 8;
        cv::Mat plate(height + 2 * plateRoom, width + 2 * plateRoom, CV_8UC3, sign.plate);
        const cv::Rect frame(plateRoom - margin - sign.frameThickness / 2, plateRoom - margin - sign.frameThickness / 2,
                             width + 2 * margin + sign.frameThickness, height + 2 * margin + sign.frameThickness);
        cv::rectangle(plate, frame, sign.ink, sign.frameThickness);
        int top = plateRoom;
        for (const cv::Mat& ink : inks) {
            drawInk(plate, ink, {plateRoom + (width - ink.cols) / 2, top}, sign.ink);
            top += ink.rows + pixelSize / 2;
        }
        cv::Mat image = plate;
        if (sign.onPhoto) {
            image = photoLikeImage({plate.cols + 240, plate.rows + 180}, seed++);
            plate.copyTo(image(cv::Rect({120, 90}, plate.size())));
        }
        std::string name;
        for (const std::string& line : sign.lines) {
            name += (name.empty() ? "" : " / ") + line;
        }
        images.push_back({name, image, sign.lines});
    }
    return images;
}

std::vector<LabelledTextImage> bookPagePieces() {
    static const std::vector<std::vector<std::string>> paragraphs{
        {"It was late in the autumn when the", "letters began to arrive at the house,", "each one folded twice and sealed",
         "with a plain grey wafer."},
        {"The road ran down between the hedges", "to the mill, where the water was loud", "after the rain of the night before;",
         "nobody had crossed the bridge since", "the carrier came through at noon."},
        {"He kept the accounts in a small book", "bound in green cloth, and wrote in it", "every evening by the light of a lamp",
         "that smoked whenever the wind turned,", "so that the pages grew darker toward", "the end of each winter."},
        {"Of the three brothers only the eldest", "had ever seen the sea, and he spoke", "of it so seldom that the others came",
         "to doubt he had been there at all."},
    };
    FontFace serif = dejaVuSans();
    for (const auto& [name, face] : installedLatinFaces()) {
        if (name == "DejaVu Serif") {
            serif = face;
        }
    }
    std::vector<LabelledTextImage> pieces;
    for (std::size_t index = 0; index < paragraphs.size(); ++index) {
        const int pixelSize = 20 + 4 * static_cast<int>(index);
        const cv::Mat ink = croppedToInk(renderedText(paragraphs[index], serif, pixelSize), 0);
        // The cut leaves ground to the right and below the paragraph only.
        cv::Mat page(ink.rows + pixelSize, ink.cols + 2 * pixelSize, CV_8UC3);
        cv::RNG random(static_cast<std::uint64_t>(index) + 11);
        const double fallAcross = random.uniform(0.04, 0.12);
        const double fallDown = random.uniform(0.02, 0.08);
        for (int row = 0; row < page.rows; ++row) {
            for (int column = 0; column < page.cols; ++column) {
                const double shade = 1.0 - fallAcross * column / page.cols - fallDown * row / page.rows;
                page.at<cv::Vec3b>(row, column) = cv::Vec3b(cv::saturate_cast<uchar>(241 * shade),
                                                            cv::saturate_cast<uchar>(235 * shade),
                                                            cv::saturate_cast<uchar>(220 * shade));
            }
        }
        drawInk(page, ink, {0, 0}, {62, 60, 58});
        cv::Mat noise(page.size(), CV_16SC3);
        random.fill(noise, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(5));
        cv::Mat noisy;
        cv::add(page, noise, noisy, cv::noArray(), CV_8UC3);
        pieces.push_back({"book page " + std::to_string(index + 1), noisy, paragraphs[index]});
    }
    return pieces;
}

}  // namespace lumenary::vision_test
