#include "platform/vision/worker/text_line_network.hpp"

#include <algorithm>
#include <array>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/files/bounded_file_reader.hpp"
#include "platform/vision/worker/chinese_word_frequencies.hpp"
#include "platform/vision/worker/likeliest_line_reading.hpp"
#include "platform/vision/worker/onnx_network_loader.hpp"
#include "platform/vision/worker/text_line_detector.hpp"

namespace lumenary::platform::vision {
namespace {

constexpr const char* recognitionNetworkFile = "ch_PP-OCRv4_rec_infer.onnx";
constexpr const char* characterListFile = "ppocr_keys_v1.txt";
// The list holds 6,623 characters in 26 kB.
constexpr std::uintmax_t largestCharacterList = 1024 * 1024;
// A line is read at the first of these widths it fits. The network's time
// grows with the width (about 65 ms at 320 px, 100 at 480), and the
// padding is read as much as the line, so the widths lines mostly have
// are 64 px apart; each network takes about 14 MB, loaded on first use.
constexpr std::array<int, 9> lineWidths{320, 384, 448, 512, 576, 640, 800, 960, 1280};
// In a line read at 48 px (32 px and room of a quarter of that on each
// side), a space between two square glyphs leaves 11 to 14 empty columns;
// fewer than 6 is no space, whatever the network saw there.
constexpr double widestGapOfOneWord = 0.12;
// The network's sequence part works on tensors of three dimensions.
constexpr int sequenceRank = 3;

struct LoadedReader {
    std::filesystem::path folder;
    bool failed = false;
    std::vector<std::string> characters;
    std::array<std::unique_ptr<cv::dnn::Net>, lineWidths.size()> nets;
};

std::optional<LoadedReader>& loadedReader() {
    static std::optional<LoadedReader> loaded;
    return loaded;
}

void reportUnusable(const std::filesystem::path& path, const std::string& reason) {
    std::cerr << "lumenary-vision: text lines are read by the language models alone, without the network " << path.string() << ": " << reason
              << "; run scripts/setup to fetch it\n";
}

// The network's classes after "no character": the list's lines, then the
// space.
std::variant<std::vector<std::string>, std::string> characterList(const std::filesystem::path& path) {
    auto bytes = readBoundedBytes(path, largestCharacterList);
    if (std::holds_alternative<BoundedReadFailure>(bytes)) {
        return std::string("it cannot be read");
    }
    std::vector<std::string> characters;
    const std::string& text = std::get<std::string>(bytes);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string character = text.substr(start, end - start);
        if (!character.empty() && character.back() == '\r') {
            character.pop_back();
        }
        characters.push_back(std::move(character));
        start = end + 1;
    }
    characters.emplace_back(" ");
    return characters;
}

// The reader of the folder, its character list loaded, or none.
LoadedReader* reader() {
    auto& loaded = loadedReader();
    const std::filesystem::path folder = textNetworksFolder();
    if (loaded && loaded->folder == folder) {
        return loaded->failed ? nullptr : &*loaded;
    }
    loaded = LoadedReader{folder, false, {}, {}};
    auto characters = characterList(folder / characterListFile);
    if (auto* reason = std::get_if<std::string>(&characters)) {
        reportUnusable(folder / characterListFile, *reason);
        loaded->failed = true;
        return nullptr;
    }
    loaded->characters = std::move(std::get<std::vector<std::string>>(characters));
    return &*loaded;
}

cv::dnn::Net* networkOfWidth(LoadedReader& loaded, std::size_t index) {
    if (!loaded.nets[index]) {
        const OnnxRewrite rewrite{std::vector<std::int64_t>{1, 3, networkLineHeight, lineWidths[index]}, sequenceRank,
                                  true};
        auto network = loadedOnnxNetwork(loaded.folder / recognitionNetworkFile, {.rewrite = rewrite});
        if (auto* reason = std::get_if<std::string>(&network)) {
            reportUnusable(loaded.folder / recognitionNetworkFile, *reason);
            loaded.failed = true;
            return nullptr;
        }
        loaded.nets[index] = std::move(std::get<std::unique_ptr<cv::dnn::Net>>(network));
    }
    return loaded.nets[index].get();
}

// One reading of `line` by the network, the line as the network saw it
// (scaled to its height) and the columns of that per step.
struct NetworkPass {
    NetworkLineText read;
    cv::Mat scaled;
    double stepWidth = 0;
};

std::optional<NetworkPass> readOnce(LoadedReader& loaded, const cv::Mat& line) {
    const double scale = static_cast<double>(networkLineHeight) / line.rows;
    const int width = std::max(1, static_cast<int>(line.cols * scale + 0.5));
    std::size_t index = 0;
    while (index + 1 < lineWidths.size() && lineWidths[index] < width) {
        ++index;
    }
    cv::dnn::Net* net = networkOfWidth(loaded, index);
    if (net == nullptr) {
        return std::nullopt;
    }
    const int inputWidth = lineWidths[index];
    NetworkPass pass;
    cv::resize(line, pass.scaled, cv::Size(std::min(width, inputWidth), networkLineHeight), 0, 0,
               scale < 1 ? cv::INTER_AREA : cv::INTER_CUBIC);
    // Scaled to -1..1, and the rest of the width 0, as the network was
    // trained.
    cv::Mat input(networkLineHeight, inputWidth, CV_32F, cv::Scalar(0));
    pass.scaled.convertTo(input(cv::Rect(0, 0, pass.scaled.cols, pass.scaled.rows)), CV_32F, 1.0 / 127.5, -1.0);
    cv::Mat colour;
    cv::merge(std::vector<cv::Mat>{input, input, input}, colour);
    const cv::Mat blob = cv::dnn::blobFromImage(colour);
    cv::Mat output;
    try {
        net->setInput(blob);
        output = net->forward();
    } catch (const cv::Exception& error) {
        std::cerr << "lumenary-vision: the text-recognition network failed on a line " << inputWidth
                  << " px wide: " << error.what() << "\n";
        return std::nullopt;
    }
    if (output.dims != 3 || output.size[0] != 1 ||
        static_cast<std::size_t>(output.size[2]) != loaded.characters.size() + 1) {
        return std::nullopt;
    }
    pass.read = ctcText(cv::Mat(output.size[1], output.size[2], CV_32F, output.ptr<float>()), loaded.characters);
    pass.stepWidth = static_cast<double>(inputWidth) / output.size[1];
    return pass;
}

}  // namespace

std::optional<NetworkLineText> readLineWithNetwork(const cv::Mat& line) {
    LoadedReader* loaded = reader();
    if (loaded == nullptr || line.empty() || line.type() != CV_8U) {
        return std::nullopt;
    }
    auto pass = readOnce(*loaded, line);
    if (!pass) {
        return std::nullopt;
    }
    NetworkLineText& read = pass->read;
    if (const ChineseWordFrequencies* words = chineseWordFrequencies()) {
        read.characters = likeliestReading(read, *words);
        read.text.clear();
        for (const std::string& character : read.characters) {
            read.text += character;
        }
    }
    // The ink: the side of the line's shades (split where they part best)
    // that covers less of it, dark on light or light on dark.
    cv::Mat ink;
    cv::threshold(pass->scaled, ink, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    if (2 * static_cast<std::size_t>(cv::countNonZero(ink)) > ink.total()) {
        cv::bitwise_not(ink, ink);
    }
    if (holdsUnreadInk(read, ink, pass->stepWidth, networkLineHeight * 2 / 3)) {
        return NetworkLineText{};
    }
    read.characters = withCommasForFilledStops(read, ink, pass->stepWidth, networkLineHeight * 2 / 3);
    read.text = withSpacesAtGaps(read, ink, pass->stepWidth, static_cast<int>(networkLineHeight * widestGapOfOneWord));
    return std::move(read);
}

}  // namespace lumenary::platform::vision
