#include "platform/vision/worker/screen_text.hpp"

#include <algorithm>
#include <random>
#include <string>
#include <utility>

#include <opencv2/imgproc.hpp>

namespace lumenary::vision_test {
namespace {

const cv::Scalar labelInk(20, 20, 20);
const cv::Scalar outline(140, 140, 140);
const cv::Scalar arrowInk(60, 60, 60);

template <typename T>
const T& pick(cv::RNG& random, const std::vector<T>& choices) {
    return choices[static_cast<std::size_t>(random.uniform(0, static_cast<int>(choices.size())))];
}

// A small solid triangle pointing up or down, centred on `centre`.
void drawArrow(cv::Mat& canvas, cv::Point centre, int half, bool up) {
    const int tip = up ? -half / 2 - 1 : half / 2 + 1;
    const std::vector<std::vector<cv::Point>> arrow{
        {{centre.x - half, centre.y - tip}, {centre.x + half, centre.y - tip}, {centre.x, centre.y + tip}}};
    cv::fillPoly(canvas, arrow, arrowInk, cv::LINE_AA);
}

// Draws one row's controls and appends their texts to `lines`.
class DialogPainter {
public:
    DialogPainter(cv::Mat& canvas, const FontFace& face, int pixelSize, std::vector<std::string>& lines)
        : canvas_(canvas), face_(face), pixelSize_(pixelSize), lines_(lines) {}

    int fieldHeight() const { return pixelSize_ + 12; }

    // `text` drawn with its ink's left edge at `x`, its ink centred on
    // `middle`; returns the ink's right edge.
    int text(const std::string& text, int x, int middle) {
        const cv::Mat ink = textCutToInk(text, face_, pixelSize_);
        drawInk(canvas_, ink, {x, middle - ink.rows / 2}, labelInk);
        lines_.push_back(text);
        return x + ink.cols;
    }

    void spinBox(int x, int middle, int width, const std::string& digit, cv::Scalar fill, bool rightAligned) {
        const cv::Rect field(x, middle - fieldHeight() / 2, width, fieldHeight());
        cv::rectangle(canvas_, field, fill, cv::FILLED);
        cv::rectangle(canvas_, field, outline, 1);
        const int columnWidth = std::max(14, pixelSize_);
        const cv::Rect column(field.br().x - columnWidth, field.y, columnWidth, field.height);
        cv::rectangle(canvas_, column, cv::Scalar(232, 232, 232), cv::FILLED);
        cv::rectangle(canvas_, column, outline, 1);
        cv::line(canvas_, {column.x, middle}, {column.br().x - 1, middle}, outline, 1);
        const int half = std::max(3, columnWidth / 4);
        drawArrow(canvas_, {column.x + columnWidth / 2, field.y + field.height / 4}, half, true);
        drawArrow(canvas_, {column.x + columnWidth / 2, field.y + 3 * field.height / 4}, half, false);
        const int digitWidth = textCutToInk(digit, face_, pixelSize_).cols;
        text(digit, rightAligned ? column.x - 6 - digitWidth : field.x + 6, middle);
    }

    void field(int x, int middle, int width, const std::string& value, cv::Scalar fill) {
        const cv::Rect box(x, middle - fieldHeight() / 2, width, fieldHeight());
        cv::rectangle(canvas_, box, fill, cv::FILLED);
        cv::rectangle(canvas_, box, outline, 1);
        const int valueWidth = textCutToInk(value, face_, pixelSize_).cols;
        // Sums of money stand right-aligned, as in accounts.
        text(value, box.br().x - 6 - valueWidth, middle);
    }

    void dropDown(int x, int middle, int width, const std::string& choice) {
        const cv::Rect box(x, middle - fieldHeight() / 2, width, fieldHeight());
        cv::rectangle(canvas_, box, cv::Scalar(246, 246, 246), cv::FILLED);
        cv::rectangle(canvas_, box, outline, 1);
        const int columnWidth = std::max(16, pixelSize_ + 2);
        cv::line(canvas_, {box.br().x - columnWidth, box.y + 3}, {box.br().x - columnWidth, box.br().y - 4}, outline, 1);
        drawArrow(canvas_, {box.br().x - columnWidth / 2, middle}, std::max(3, columnWidth / 4), false);
        text(choice, box.x + 6, middle);
    }

    int radio(int x, int middle, const std::string& label, bool chosen) {
        const int radius = std::max(5, pixelSize_ / 2);
        cv::circle(canvas_, {x + radius, middle}, radius, cv::Scalar(255, 255, 255), cv::FILLED, cv::LINE_AA);
        cv::circle(canvas_, {x + radius, middle}, radius, outline, 1, cv::LINE_AA);
        if (chosen) {
            cv::circle(canvas_, {x + radius, middle}, radius / 2, arrowInk, cv::FILLED, cv::LINE_AA);
        }
        return text(label, x + 2 * radius + 6, middle);
    }

    void checkBox(int x, int middle, const std::string& label, bool ticked) {
        const int side = std::max(10, pixelSize_);
        const cv::Rect box(x, middle - side / 2, side, side);
        cv::rectangle(canvas_, box, cv::Scalar(255, 255, 255), cv::FILLED);
        cv::rectangle(canvas_, box, outline, 1);
        if (ticked) {
            const std::vector<std::vector<cv::Point>> tick{{{box.x + side / 5, middle},
                                                            {box.x + side / 2 - 1, box.br().y - side / 4},
                                                            {box.br().x - side / 6, box.y + side / 5}}};
            cv::polylines(canvas_, tick, false, arrowInk, 2, cv::LINE_AA);
        }
        text(label, x + side + 6, middle);
    }

    int button(int x, int middle, const std::string& label) {
        const int labelWidth = textCutToInk(label, face_, pixelSize_).cols;
        const int width = std::max(72, labelWidth + 28);
        const cv::Rect box(x, middle - fieldHeight() / 2 - 2, width, fieldHeight() + 4);
        cv::rectangle(canvas_, box, cv::Scalar(244, 244, 244), cv::FILLED);
        cv::rectangle(canvas_, box, cv::Scalar(120, 120, 120), 1);
        text(label, x + (width - labelWidth) / 2, middle);
        return box.br().x;
    }

private:
    cv::Mat& canvas_;
    FontFace face_;
    int pixelSize_;
    std::vector<std::string>& lines_;
};

enum class Row { heading, spinBox, money, dropDown, radios, checkBox };

}  // namespace

LabelledTextImage controlDialog(unsigned seed) {
    static const std::vector<std::string> headings{"Accounts", "Printing", "Network", "Display", "Backup"};
    static const std::vector<std::string> spinLabels{"Copies:", "Pages:", "Level:", "Retries:", "Columns:", "Day:"};
    static const std::vector<std::string> moneyLabels{"Amount:", "Balance:", "Limit:", "Total:", "Opening balance:"};
    static const std::vector<std::string> sums{"2,000.00", "150.00", "12,500.50", "0.00", "1,234.56", "99.95"};
    static const std::vector<std::pair<std::string, std::vector<std::string>>> dropDowns{
        {"Language:", {"English", "Deutsch"}},
        {"Repeat:", {"Monthly", "Weekly"}},
        {"Currency:", {"Euro", "Dollar"}},
        {"Paper:", {"A4", "Letter"}}};
    static const std::vector<std::pair<std::string, std::string>> radioPairs{
        {"Portrait", "Landscape"}, {"Daily", "Weekly"}, {"Yes", "No"}, {"Debit", "Credit"}};
    static const std::vector<std::string> checkLabels{"Show hidden files", "Remember me", "Use proxy", "Print in colour",
                                                      "Keep a copy"};
    static const std::vector<std::vector<std::string>> buttonRows{
        {"OK", "Cancel"}, {"Close"}, {"Apply", "OK", "Cancel"}, {"OK"}, {"Cancel", "Apply"}};
    cv::RNG random(seed * 7919U + 3);
    std::vector<FontFace> faces;
    for (const auto& [name, face] : installedLatinFaces()) {
        if (name == "DejaVu Sans" || name == "Lato") {
            faces.push_back(face);
        }
    }
    const FontFace face = faces[static_cast<std::size_t>(random.uniform(0, 2)) % faces.size()];
    const int pixelSize = random.uniform(13, 18);
    const int rowHeight = pixelSize * 2 + 8;

    std::vector<Row> rows;
    if (random.uniform(0, 2) == 1) {
        rows.push_back(Row::heading);
    }
    rows.push_back(Row::spinBox);
    const int more = random.uniform(3, 6);
    for (int row = 0; row < more; ++row) {
        rows.push_back(static_cast<Row>(random.uniform(1, 6)));
    }
    std::shuffle(rows.begin() + (rows.front() == Row::heading ? 1 : 0), rows.end(),
                 std::mt19937(static_cast<std::mt19937::result_type>(seed)));

    LabelledTextImage dialog{"controls " + std::to_string(seed), {}, {}};
    const int width = 500;
    dialog.image = cv::Mat((static_cast<int>(rows.size()) + 1) * rowHeight + 28, width, CV_8UC3,
                           cv::Scalar::all(random.uniform(232, 241)));
    DialogPainter painter(dialog.image, face, pixelSize, dialog.lines);
    const int fieldsAt = 190;
    int middle = 14 + rowHeight / 2;
    for (const Row row : rows) {
        switch (row) {
            case Row::heading:
                painter.text(pick(random, headings), 16, middle);
                break;
            case Row::spinBox: {
                painter.text(pick(random, spinLabels), 16, middle);
                const std::string digit(1, static_cast<char>('0' + random.uniform(0, 10)));
                painter.spinBox(fieldsAt, middle, random.uniform(48, 96), digit, cv::Scalar::all(random.uniform(200, 226)),
                                random.uniform(0, 2) == 1);
                break;
            }
            case Row::money: {
                painter.text(pick(random, moneyLabels), 16, middle);
                const bool grey = random.uniform(0, 2) == 1;
                painter.field(fieldsAt, middle, random.uniform(110, 170), pick(random, sums),
                              grey ? cv::Scalar::all(random.uniform(200, 226)) : cv::Scalar::all(255));
                break;
            }
            case Row::dropDown: {
                const auto& [label, choices] = pick(random, dropDowns);
                painter.text(label, 16, middle);
                painter.dropDown(fieldsAt, middle, random.uniform(140, 190), pick(random, choices));
                break;
            }
            case Row::radios: {
                const auto& [first, second] = pick(random, radioPairs);
                const bool firstChosen = random.uniform(0, 2) == 1;
                const int end = painter.radio(16, middle, first, firstChosen);
                painter.radio(std::max(end + 30, fieldsAt), middle, second, !firstChosen);
                break;
            }
            case Row::checkBox:
                painter.checkBox(16, middle, pick(random, checkLabels), random.uniform(0, 2) == 1);
                break;
        }
        middle += rowHeight;
    }
    // The push buttons stand at the dialog's bottom right.
    const auto& buttons = pick(random, buttonRows);
    int x = width - 16 - static_cast<int>(buttons.size()) * 92;
    for (const std::string& label : buttons) {
        x = painter.button(x, middle + 4, label) + 12;
    }
    return dialog;
}

std::vector<LabelledTextImage> codeLines(const FontFace& face, int pixelSize) {
    static const std::vector<std::string> lines{
        "find . -name \"*.c\" | xargs wc -l",
        "| top row",
        "a[i] = {1, 2};",
        "x || y && z",
        "if (a[0] == b[1]) { return; }",
        "ls -la | grep \"[0-9]\"",
        "cat file | sort | uniq -c",
        "int v[3] = {0};",
        "echo $((x | y))",
        "[section] key = {value}",
        "map[key] = {\"a\", \"b\"};",
        "ps aux | grep [s]shd",
        "for (i = 0; i < n; i++) { s += v[i]; }",
        "du -sh * | sort -h | tail",
        "{\"id\": 7, \"tags\": []}",
        "[ -f \"$f\" ] && rm \"$f\"",
    };
    std::vector<LabelledTextImage> images;
    for (const std::string& line : lines) {
        images.push_back({line, renderedText({line}, face, pixelSize), {line}});
    }
    return images;
}

std::vector<LabelledTextImage> capitalHeadings(const FontFace& face, int pixelSize) {
    static const std::vector<std::string> lines{
        "END OF TERMS AND CONDITIONS", "TABLE OF CONTENTS", "GENERAL PUBLIC LICENSE", "NO WARRANTY",
        "DEFINITIONS",                 "PREAMBLE",          "TERMS AND CONDITIONS",   "HOW TO APPLY THESE TERMS",
        "LIMITATION OF LIABILITY",     "APPENDIX",          "INTRODUCTION",           "SEE ALSO",
    };
    std::vector<LabelledTextImage> images;
    for (const std::string& line : lines) {
        images.push_back({line, textCutToInk(line, face, pixelSize), {line}});
    }
    return images;
}

}  // namespace lumenary::vision_test
