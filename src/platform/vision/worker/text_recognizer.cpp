#include "platform/vision/worker/text_recognizer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>
#include <opencv2/imgproc.hpp>

#include "platform/files/bounded_file_reader.hpp"
#include "platform/vision/worker/full_width_punctuation.hpp"
#include "platform/vision/worker/merged_line_readings.hpp"
#include "platform/vision/worker/normalized_rect_from_pixels.hpp"
#include "platform/vision/worker/plain_ground.hpp"
#include "platform/vision/worker/recogniser_settings.hpp"
#include "platform/vision/worker/recognition_language_packs.hpp"
#include "platform/vision/worker/text_line_crop.hpp"
#include "platform/vision/worker/text_line_detector.hpp"
#include "platform/vision/worker/text_line_network.hpp"

namespace lumenary::platform::vision {
namespace {

constexpr double fastRecognitionPixels = 2'000'000;
// Loaded recognisers stay for the worker's life; a caller cycling through
// language sets must not pile up a model each.
constexpr std::size_t keptRecognisers = 3;

// Larger than any pack the recogniser's makers publish (the largest, the
// fetched Simplified Chinese model, is 44 MB).
constexpr std::uintmax_t largestLanguagePack = 200 * 1024 * 1024;

// Why language packs the recogniser asked for could not be read, gathered
// during one load (under recognitionMutex) for the line that sets a larger
// model aside.
struct UnreadPack {
    std::filesystem::path path;
    std::string reason;
};
std::vector<UnreadPack> unreadPacks;

std::string unreadReason(const BoundedReadFailure& failure) {
    switch (failure.reason) {
        case BoundedReadFailure::Reason::cannotOpen:
            return std::string("it cannot be opened: ") + std::strerror(failure.errorNumber);
        case BoundedReadFailure::Reason::cannotRead:
            return std::string("it cannot be read: ") + std::strerror(failure.errorNumber);
        case BoundedReadFailure::Reason::notRegularFile: return "it is not a regular file";
        case BoundedReadFailure::Reason::tooLarge: return "it is larger than any model";
    }
    return "it cannot be read";
}

// Why `bytes` are not a whole model file, if they are not: its table of
// contents (a count, then each part's offset, -1 for a part left out) must
// fit, and each part must end before the next begins and within the file.
// The recogniser takes a part's length from these offsets unchecked and
// throws on a negative one.
std::optional<std::string> notAWholeModel(const std::vector<char>& bytes) {
    // More parts than the format has ever had; the recogniser's own limit.
    constexpr std::uint32_t mostParts = 1000;
    std::uint32_t parts = 0;
    if (bytes.size() < sizeof parts) {
        return "it is not a text model";
    }
    std::memcpy(&parts, bytes.data(), sizeof parts);
    // The recogniser reads files of either byte order.
    const bool swapped = parts > mostParts;
    if (swapped) {
        parts = __builtin_bswap32(parts);
    }
    const std::size_t contentsEnd = sizeof parts + std::size_t{parts} * sizeof(std::int64_t);
    if (parts > mostParts || bytes.size() < contentsEnd) {
        return "it is not a text model";
    }
    std::int64_t previous = static_cast<std::int64_t>(contentsEnd);
    for (std::uint32_t part = 0; part < parts; ++part) {
        std::int64_t offset = 0;
        std::memcpy(&offset, bytes.data() + sizeof parts + part * sizeof offset, sizeof offset);
        if (swapped) {
            offset = static_cast<std::int64_t>(__builtin_bswap64(static_cast<std::uint64_t>(offset)));
        }
        if (offset == -1) {
            continue;
        }
        if (offset < previous) {
            return "it is not a text model";
        }
        if (offset > static_cast<std::int64_t>(bytes.size())) {
            return "it is cut short";
        }
        previous = offset;
    }
    return std::nullopt;
}

// The recogniser asks for "<languagePackFolder>/<name>.traineddata"; a
// model that is not there (a larger model scripts/setup fetched) is read
// from the fetched packs' folder. The bytes are read straight into the
// recogniser's buffer: the larger Chinese model is 44 MB.
bool readLanguagePack(const char* filename, std::vector<char>* data) {
    std::filesystem::path path(filename);
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) {
        path = fetchedLanguagePackFolder() / path.filename();
    }
    auto bytes = readBoundedByteVector(path, largestLanguagePack);
    if (const auto* failure = std::get_if<BoundedReadFailure>(&bytes)) {
        unreadPacks.push_back({path, unreadReason(*failure)});
        return false;
    }
    auto& read = std::get<std::vector<char>>(bytes);
    // The recogniser takes the address of the first byte.
    if (read.empty()) {
        unreadPacks.push_back({path, "it is empty"});
        return false;
    }
    if (auto reason = notAWholeModel(read)) {
        unreadPacks.push_back({path, std::move(*reason)});
        return false;
    }
    *data = std::move(read);
    return true;
}

// A recogniser of `models`, or none when it could not load them. A damaged
// model can make the recogniser throw (a length taken from its bytes).
std::unique_ptr<tesseract::TessBaseAPI> loadedRecogniser(const std::string& folder, const std::string& models) {
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    // Its debug lines ("Estimating resolution as ...", one per image)
    // would fill the server's log; the setting is the library's own and
    // leaves recognition as it is.
    api->SetVariable("debug_file", "/dev/null");
    try {
        if (api->Init(folder.c_str(), 0, models.c_str(), tesseract::OEM_LSTM_ONLY, nullptr, 0, nullptr, nullptr, false,
                      readLanguagePack) != 0) {
            return nullptr;
        }
    } catch (const std::exception&) {
        return nullptr;
    }
    return api;
}

// The larger models in `models` (after the packs scripts/setup fetched
// them for) that `api` did not load; the recogniser leaves out a model it
// cannot load beside the first without failing.
std::vector<std::string> largerModelsLeftOut(const std::string& models, const tesseract::TessBaseAPI* api) {
    std::vector<std::string> loaded;
    if (api != nullptr) {
        api->GetLoadedLanguagesAsVector(&loaded);
    }
    std::vector<std::string> leftOut;
    std::size_t start = 0;
    while (start <= models.size()) {
        const std::size_t end = std::min(models.find('+', start), models.size());
        const std::string model = models.substr(start, end - start);
        if (model.ends_with("_large") && std::find(loaded.begin(), loaded.end(), model) == loaded.end()) {
            leftOut.push_back(model);
        }
        start = end + 1;
    }
    return leftOut;
}

// One line on standard error for each larger model set aside, once for
// the worker's life: Chinese is still read, with Debian's model alone.
void reportSetAside(const std::vector<std::string>& models) {
    static std::set<std::filesystem::path> reported;
    for (const std::string& model : models) {
        std::filesystem::path path = fetchedLanguagePackFolder() / (model + ".traineddata");
        std::string reason = "the text recogniser could not load it";
        for (const UnreadPack& unread : unreadPacks) {
            if (unread.path.filename() == path.filename()) {
                path = unread.path;
                reason = unread.reason;
            }
        }
        if (reported.insert(path).second) {
            std::cerr << "lumenary-vision: text is read without the larger model " << path.string() << ": " << reason
                      << "; run scripts/setup to fetch it again\n";
        }
    }
}

struct LoadedRecogniser {
    std::string key;
    std::unique_ptr<tesseract::TessBaseAPI> api;
    // Its settings as its load left them, the library's defaults under
    // what its language's models set.
    RecogniserSettings settings;
};

// The most recently used recogniser first.
//
// Many of the recognition library's settings are shared by every
// recogniser in the process, and a language's models set some of them as
// they load: the larger Chinese model's limits on noise and outlines,
// which then made English screens read otherwise after a Chinese line
// than before it. Each recogniser is loaded over the library's defaults,
// and reads with its own settings set again.
class RecogniserCache {
public:
    PlatformOutcome<tesseract::TessBaseAPI*> recogniserFor(const std::string& packs) {
        // Keyed by the fetched models' folder too, which the environment
        // names (a test points it at models of its own).
        const std::string key = packs + '\n' + fetchedLanguagePackFolder().string();
        const auto found = std::find_if(loaded_.begin(), loaded_.end(),
                                        [&key](const LoadedRecogniser& entry) { return entry.key == key; });
        if (found != loaded_.end()) {
            if (found->api.get() != settingsOf_) {
                restoreRecogniserSettings(*found->api, found->settings);
                settingsOf_ = found->api.get();
            }
            loaded_.splice(loaded_.begin(), loaded_, found);
            return loaded_.front().api.get();
        }
        withDefaultSettings();
        const std::string folder = languagePackFolder().string();
        const std::string models = withFetchedModels(packs, fetchedLanguagePackFolder());
        unreadPacks.clear();
        auto api = loadedRecogniser(folder, models);
        if (models != packs) {
            const std::vector<std::string> leftOut = largerModelsLeftOut(models, api.get());
            if (!api) {
                // The larger models may have set their settings before
                // failing to load.
                withDefaultSettings();
                api = loadedRecogniser(folder, packs);
            }
            if (api) {
                reportSetAside(leftOut);
            }
        }
        if (!api) {
            return visionServiceError(
                500, "Text recognition could not load the language data \"" + packs + "\" from " + folder);
        }
        if (loaded_.size() >= keptRecognisers) {
            loaded_.pop_back();
        }
        RecogniserSettings settings = recogniserSettings(*api);
        settingsOf_ = api.get();
        loaded_.push_front({key, std::move(api), std::move(settings)});
        return loaded_.front().api.get();
    }

private:
    // The shared settings set back to the library's own, as they stood
    // before the first load.
    void withDefaultSettings() {
        settingsOf_ = nullptr;
        if (!defaults_) {
            defaults_ = std::make_unique<tesseract::TessBaseAPI>();
            // Setting one sets the recogniser up without a language, enough
            // to list them all.
            defaults_->SetVariable("debug_file", "/dev/null");
            defaultSettings_ = recogniserSettings(*defaults_);
        } else {
            restoreRecogniserSettings(*defaults_, defaultSettings_);
        }
    }

    std::list<LoadedRecogniser> loaded_;
    std::unique_ptr<tesseract::TessBaseAPI> defaults_;
    RecogniserSettings defaultSettings_;
    // The recogniser whose settings are set now; none after a load that
    // failed set the defaults back.
    const tesseract::TessBaseAPI* settingsOf_ = nullptr;
};

std::mutex recognitionMutex;
// Not a static object: static destruction would tear the recogniser
// library's own cache of language data down first, and our recognisers
// would then release into a dead cache. They end from an exit handler
// registered after the first load, which runs before that cache goes.
RecogniserCache* recognisers = nullptr;

RecogniserCache& recogniserCache() {
    if (recognisers == nullptr) {
        recognisers = new RecogniserCache;
    }
    return *recognisers;
}

void endRecognisers() {
    // A recognition still running on another thread keeps its recogniser:
    // the process is ending either way, and waiting could hang the exit.
    const std::unique_lock lock(recognitionMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        return;
    }
    delete recognisers;
    recognisers = nullptr;
}

cv::Mat greyForRecognition(const cv::Mat& rgb, TextRecognitionLevel level) {
    cv::Mat grey;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    const double pixels = static_cast<double>(grey.total());
    if (level != TextRecognitionLevel::fast || pixels <= fastRecognitionPixels) {
        return grey;
    }
    const double scale = std::sqrt(fastRecognitionPixels / pixels);
    cv::Mat scaled;
    cv::resize(grey, scaled, cv::Size(), scale, scale, cv::INTER_AREA);
    return scaled;
}

// Packs of scripts written in square glyphs of several strokes each (Han,
// kana, hangul).
bool readsSquareGlyphs(std::string_view packs) {
    for (const std::string_view pack : {"chi_sim", "chi_tra", "jpn", "kor"}) {
        if (packs.find(pack) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

// Chinese and Japanese print their marks full-width; Korean uses the ASCII
// ones with spaces, as English does.
bool printsFullWidthMarks(std::string_view packs) {
    for (const std::string_view pack : {"chi_sim", "chi_tra", "jpn"}) {
        if (packs.find(pack) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

// The recogniser's models read square glyphs best when a line is about 36
// px high: larger lines lose strokes and smaller ones merge them (of 48
// Chinese lines in five faces at 24 to 64 px, 90.1 % read exactly at 36 px,
// 89.4 % at 32, 89.5 % at 40). Lines are measured by the layout analysis,
// and the image scaled so that their median height is 36 px unless it is
// within a tenth of that; upscaling stops at 3 times and 25 megapixels.
constexpr double readableLine = 36;
constexpr double readableLineTolerance = 0.1;
constexpr double largestUpscale = 3;
constexpr double largestUpscaledPixels = 25'000'000;

// Whether the layout analysis's lines are pieces of one line: each shares
// at least half of its height with every other. It breaks a line of
// square glyphs where a mark or a narrow glyph leaves a gap ("你明",
// "天有空", "吗？" of "你明天有空吗？"), and a block of such pieces reads
// them as lines of their own.
bool onOneRow(const std::vector<cv::Rect>& lines) {
    for (const cv::Rect& first : lines) {
        for (const cv::Rect& second : lines) {
            const int shared = std::min(first.br().y, second.br().y) - std::max(first.y, second.y);
            if (2 * shared < std::min(first.height, second.height)) {
                return false;
            }
        }
    }
    return true;
}

// The image at a readable line height, and the rows of its one line when
// the layout analysis found only one.
struct MeasuredLines {
    cv::Mat grey;
    std::optional<cv::Rect> onlyLine;
};

MeasuredLines atReadableLineHeight(tesseract::TessBaseAPI& api, const cv::Mat& grey) {
    api.SetPageSegMode(tesseract::PSM_AUTO);
    api.SetImage(grey.data, grey.cols, grey.rows, 1, static_cast<int>(grey.step));
    std::vector<cv::Rect> lines;
    const std::unique_ptr<tesseract::PageIterator> layout(api.AnalyseLayout());
    if (layout) {
        do {
            int left = 0;
            int top = 0;
            int right = 0;
            int bottom = 0;
            if (layout->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom) && bottom > top &&
                right > left) {
                lines.emplace_back(left, top, right - left, bottom - top);
            }
        } while (layout->Next(tesseract::RIL_TEXTLINE));
    }
    api.Clear();
    if (lines.empty()) {
        return {grey, std::nullopt};
    }
    std::vector<int> heights;
    for (const cv::Rect& line : lines) {
        heights.push_back(line.height);
    }
    std::nth_element(heights.begin(), heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2), heights.end());
    const int median = heights[heights.size() / 2];
    double scale = readableLine / median;
    if (std::abs(scale - 1) <= readableLineTolerance) {
        scale = 1;
    } else if (scale > 1) {
        const double pixels = static_cast<double>(grey.total());
        scale = std::max(1.0, std::min({scale, largestUpscale, std::sqrt(largestUpscaledPixels / pixels)}));
    }
    cv::Mat scaled = grey;
    if (scale != 1) {
        cv::resize(grey, scaled, cv::Size(), scale, scale, scale > 1 ? cv::INTER_CUBIC : cv::INTER_AREA);
        if (scaled.empty()) {
            scaled = grey;
            scale = 1;
        }
    }
    if (!onOneRow(lines)) {
        return {scaled, std::nullopt};
    }
    // The rows of the line with half a line of margin, so that its strokes
    // and marks stay whole, across the whole width, so that glyphs at its
    // ends that the layout analysis left out are read with it.
    int top = lines.front().y;
    int bottom = lines.front().br().y;
    for (const cv::Rect& line : lines) {
        top = std::min(top, line.y);
        bottom = std::max(bottom, line.br().y);
    }
    const int margin = median / 2;
    const cv::Rect band = cv::Rect(0, static_cast<int>((top - margin) * scale), scaled.cols,
                                   static_cast<int>(std::ceil((bottom - top + 2 * margin) * scale))) &
                          cv::Rect(0, 0, scaled.cols, scaled.rows);
    if (band.empty()) {
        return {scaled, std::nullopt};
    }
    return {scaled, band};
}

std::string withoutTrailingSpace(std::string text) {
    const auto end = text.find_last_not_of(" \t\r\n");
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

// A confidence the recogniser reports (0 to 100) from 0 to 1.
float unitConfidence(float reported) {
    const float unit = reported / 100.0F;
    return std::isfinite(unit) ? std::clamp(unit, 0.0F, 1.0F) : 0.0F;
}

// The lines read from the part of an image of `imageSize` whose top left
// corner is at `origin`.
std::vector<TextObservation> textLines(tesseract::TessBaseAPI& api, cv::Size imageSize, cv::Point origin,
                                       bool fullWidthMarks) {
    std::vector<TextObservation> lines;
    std::unique_ptr<tesseract::ResultIterator> iterator(api.GetIterator());
    if (!iterator) {
        return lines;
    }
    constexpr auto lineLevel = tesseract::RIL_TEXTLINE;
    do {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
        if (!iterator->BoundingBox(lineLevel, &left, &top, &right, &bottom)) {
            continue;
        }
        TextObservation line;
        line.boundingBox =
            normalizedRectFromPixels(left + origin.x, top + origin.y, right + origin.x, bottom + origin.y, imageSize);
        const std::unique_ptr<char[]> text(iterator->GetUTF8Text(lineLevel));
        std::string read = text ? withoutTrailingSpace(text.get()) : std::string();
        if (fullWidthMarks) {
            read = withFullWidthPunctuation(read);
        }
        if (!read.empty()) {
            line.topCandidate = TextCandidate{std::move(read), unitConfidence(iterator->Confidence(lineLevel))};
        }
        lines.push_back(std::move(line));
    } while (iterator->Next(lineLevel));
    return lines;
}

// A found line's box is cut out with room around it: a mark at its end
// (a full stop, a comma low in its cell) lies outside what the network
// finds, and the recogniser misreads glyphs that touch the edge. Read at
// 40 px with that room, a line of square glyphs is about 33 px high, what
// the recogniser's models read best (of 48 Chinese lines in five faces at
// 24 to 64 px, lines read at 48 px lose strokes: "雨俘了" for "雨停了").
// A line wider than the widest is read smaller.
constexpr float lineEndsRoom = 0.6F;
constexpr float lineHeightRoom = 1.2F;
constexpr int detectedLineHeight = 40;
constexpr int widestDetectedLine = 8000;
// A region the network finds that is lower than this (in the image's
// pixels) holds no glyph anyone could read, only a fleck or a frame's
// corner, which the recogniser reads as a mark.
constexpr float smallestDetectedLine = 5;

// Whether the recognition network's characters cover the packs: Chinese,
// with or without English, which it reads more exactly than the
// recogniser's models (of 48 Chinese lines in five faces at 24 to 64 px,
// 97 % exactly, against 89 %). English alone, and every other language,
// is read by the recogniser's models, which read Latin lines as well and
// know their languages' words and marks.
bool readByNetwork(const std::string& packs) {
    bool chinese = false;
    std::size_t start = 0;
    while (start <= packs.size()) {
        const std::size_t end = std::min(packs.find('+', start), packs.size());
        const std::string_view pack = std::string_view(packs).substr(start, end - start);
        if (pack == "chi_sim") {
            chinese = true;
        } else if (pack != "eng") {
            return false;
        }
        start = end + 1;
    }
    return chinese;
}

// The grey image the lines are cut from, with the shade of its plain
// ground when it has one.
struct LinesImage {
    cv::Mat grey;
    std::optional<int> ground;
};

// The grey shade of an RGB colour, weighted as the grey image is made.
int greyShade(const cv::Scalar& rgb) {
    cv::Mat pixel(1, 1, CV_8UC3, rgb);
    cv::Mat grey;
    cv::cvtColor(pixel, grey, cv::COLOR_RGB2GRAY);
    return grey.at<unsigned char>(0, 0);
}

// The line in `box` read by the recognition network; an empty text when
// it holds a glyph the network does not know, and none when the network
// cannot be used.
std::optional<TextCandidate> lineReadByNetwork(const LinesImage& image, cv::RotatedRect box, LineTurn turn) {
    const bool wide = box.size.width >= box.size.height;
    float& longSide = wide ? box.size.width : box.size.height;
    const float shortSide = wide ? box.size.height : box.size.width;
    longSide += lineEndsRoom * shortSide;
    // Room of a quarter of the line's height on each side.
    const cv::Mat upright = uprightLine(image.grey, box, networkLineHeight * 2 / 3, widestDetectedLine, turn, image.ground);
    if (upright.empty()) {
        return TextCandidate{};
    }
    auto read = readLineWithNetwork(upright);
    if (!read) {
        return std::nullopt;
    }
    // A space the network read at either end of the line parts nothing.
    std::string text = withoutTrailingSpace(std::move(read->text));
    text.erase(0, std::min(text.size(), text.find_first_not_of(' ')));
    return TextCandidate{std::move(text), read->confidence};
}

std::string onOneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return withoutTrailingSpace(std::move(text));
}

// A reading of one line: its text, and its words where the language
// models read it.
struct LineReading {
    TextCandidate candidate;
    std::vector<ReadWord> words;
};

// The margin uprightLine frames a line of `rows` rows with, the cut
// line's own rows being all but twice the margin.
int framingMargin(int rows) {
    for (int margin = 1; 2 * margin < rows; ++margin) {
        if (std::max(1, (rows - 2 * margin) / 4) == margin) {
            return margin;
        }
    }
    return 1;
}

// A word of the recogniser's last reading, its box in the pixels of the
// image it read, and, for the first word of a line, that line's box and
// confidence.
struct RecognisedWord {
    std::string text;
    cv::Rect box;
    float confidence = 0;
    bool dictionary = false;
    std::optional<std::pair<cv::Rect, float>> startsLine;
};

std::vector<RecognisedWord> recognisedWords(tesseract::TessBaseAPI& api) {
    std::vector<RecognisedWord> words;
    const std::unique_ptr<tesseract::ResultIterator> iterator(api.GetIterator());
    if (!iterator) {
        return words;
    }
    const auto boxAt = [&](tesseract::PageIteratorLevel level) -> std::optional<cv::Rect> {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
        if (!iterator->BoundingBox(level, &left, &top, &right, &bottom)) {
            return std::nullopt;
        }
        return cv::Rect(left, top, right - left, bottom - top);
    };
    constexpr auto wordLevel = tesseract::RIL_WORD;
    bool lineStarts = true;
    do {
        lineStarts = lineStarts || iterator->IsAtBeginningOf(tesseract::RIL_TEXTLINE);
        const auto box = iterator->Empty(wordLevel) ? std::nullopt : boxAt(wordLevel);
        const std::unique_ptr<char[]> text(box ? iterator->GetUTF8Text(wordLevel) : nullptr);
        // A picture or a rule the layout analysis took for a block of text
        // is read as a word of spaces.
        std::string word = text ? withoutTrailingSpace(text.get()) : std::string();
        if (word.empty()) {
            continue;
        }
        RecognisedWord recognised{std::move(word), *box, unitConfidence(iterator->Confidence(wordLevel)),
                                  iterator->WordIsFromDictionary(), std::nullopt};
        if (lineStarts) {
            lineStarts = false;
            recognised.startsLine = std::pair(boxAt(tesseract::RIL_TEXTLINE).value_or(*box),
                                              unitConfidence(iterator->Confidence(tesseract::RIL_TEXTLINE)));
        }
        words.push_back(std::move(recognised));
    } while (iterator->Next(wordLevel));
    return words;
}

// The words of the recogniser's last reading of `cut` (a level line cut
// out of `along`, a box in the image's pixels, with room at its ends),
// placed back in the image.
std::vector<ReadWord> wordsPlacedBack(tesseract::TessBaseAPI& api, const cv::Mat& cut, const cv::Rect2f& along,
                                      const cv::Rect2f& rows) {
    std::vector<ReadWord> words;
    const int margin = framingMargin(cut.rows);
    const float width = static_cast<float>(std::max(1, cut.cols - 2 * margin));
    for (RecognisedWord& word : recognisedWords(api)) {
        const float start = along.x + along.width * static_cast<float>(word.box.x - margin) / width;
        const float end = along.x + along.width * static_cast<float>(word.box.br().x - margin) / width;
        words.push_back({std::move(word.text), word.confidence,
                         cv::Rect2f(start, rows.y, std::max(1.0F, end - start), rows.height), word.dictionary});
    }
    return words;
}

// The line in `box` read by the recogniser's language models as one line;
// none when it reads nothing there. A level line's words come with it.
std::optional<LineReading> lineReadByModels(tesseract::TessBaseAPI& api, const LinesImage& image,
                                            cv::RotatedRect box, LineTurn turn, bool fullWidthMarks) {
    const cv::Rect2f rows = box.boundingRect2f();
    const bool wide = box.size.width >= box.size.height;
    float& longSide = wide ? box.size.width : box.size.height;
    float& shortSide = wide ? box.size.height : box.size.width;
    longSide += lineEndsRoom * shortSide;
    shortSide *= lineHeightRoom;
    const cv::Mat upright = uprightLine(image.grey, box, detectedLineHeight, widestDetectedLine, turn, image.ground);
    if (upright.empty()) {
        return std::nullopt;
    }
    api.SetImage(upright.data, upright.cols, upright.rows, 1, static_cast<int>(upright.step));
    if (api.Recognize(nullptr) != 0) {
        return std::nullopt;
    }
    const std::unique_ptr<char[]> text(api.GetUTF8Text());
    std::string read = text ? onOneLine(text.get()) : std::string();
    if (fullWidthMarks) {
        read = withFullWidthPunctuation(read);
    }
    if (read.empty()) {
        return std::nullopt;
    }
    LineReading reading{{std::move(read), unitConfidence(static_cast<float>(api.MeanTextConf()))}, {}};
    // The words of a line cut out level, and read as the models gave it.
    if (rows.width >= rows.height && !fullWidthMarks) {
        reading.words = wordsPlacedBack(api, upright, box.boundingRect2f(), rows);
    }
    return reading;
}

const TextCandidate* candidateOf(const std::optional<TextCandidate>& read) {
    return read ? &*read : nullptr;
}

const TextCandidate* candidateOf(const std::optional<LineReading>& read) {
    return read ? &read->candidate : nullptr;
}

// The likelier of two readings of one box; a reading with text over none
// or an empty one.
template <typename Reading>
std::optional<Reading> likelier(std::optional<Reading> first, std::optional<Reading> second) {
    const auto weight = [](const std::optional<Reading>& read) {
        const TextCandidate* candidate = candidateOf(read);
        return candidate != nullptr && !candidate->text.empty() ? candidate->confidence : -1.0F;
    };
    return weight(second) > weight(first) ? std::move(second) : std::move(first);
}

std::optional<LineReading> withoutWords(std::optional<TextCandidate> read) {
    if (!read) {
        return std::nullopt;
    }
    return LineReading{std::move(*read), {}};
}

// Whether a reading is a few glyphs at most (a value in a field, a short
// word), which the language models' words do not help to read.
bool fewGlyphs(const std::string& text) {
    constexpr int mostGlyphs = 4;
    const auto glyphs = std::count_if(text.begin(), text.end(), [](char byte) {
        return byte != ' ' && (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    });
    return glyphs <= mostGlyphs;
}

bool inAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

// A word the language models read for a lone zero, led by their words or
// by the dot or the slash some faces draw in it.
bool roundGlyphWord(std::string_view word) {
    return word == "O" || word == "o" || word == "©" || word == "@";
}

std::vector<std::string> spaceParted(const std::string& text) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

bool holdsRoundGlyphWord(const std::string& text) {
    const std::vector<std::string> words = spaceParted(text);
    return std::any_of(words.begin(), words.end(), roundGlyphWord);
}

// The models' reading with a zero for each lone round glyph word the
// network read as 0, where the two agree on every other word; else the
// models' reading as it is.
std::string withZerosTheNetworkSaw(const std::string& models, const std::string& network) {
    std::vector<std::string> words = spaceParted(models);
    const std::vector<std::string> networkWords = spaceParted(network);
    if (words.size() != networkWords.size()) {
        return models;
    }
    for (std::size_t index = 0; index < words.size(); ++index) {
        if (words[index] == networkWords[index]) {
            continue;
        }
        if (!roundGlyphWord(words[index]) || networkWords[index] != "0") {
            return models;
        }
        words[index] = "0";
    }
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

// The line in `box` read by the recognition network, both ways when it may
// hold one glyph; none when the network cannot be used.
std::optional<TextCandidate> lineReadByNetworkEitherWay(const LinesImage& image, const cv::RotatedRect& box,
                                                        bool eitherWay) {
    std::optional<TextCandidate> read = lineReadByNetwork(image, box, LineTurn::whenStanding);
    if (read && eitherWay) {
        read = likelier(std::move(read), lineReadByNetwork(image, box, LineTurn::never));
    }
    return read;
}

// Each line the detection network found in the image, read on its own as one
// line, in the order found; lines read as nothing are left out. A box that
// stands but may hold one glyph lying level (a lone digit in a field) is
// read both ways, and the likelier reading kept. With `fewGlyphsByNetwork`
// (English alone), a line the language models read as a few glyphs, or
// not at all, is read by the recognition network too, and its reading
// kept when it is likelier and in ASCII (a full-width "５" as "5"): the
// models, led by their words, read a field's "511" as "sll" and a lone "3"
// as "Els". In every language, a lone word the models read as a round
// letter (O, ©) is a zero where the network read one and the two agree on
// the rest of the line ("use 0 for no limit", a French field's
// "opérations : 0": the network reads Latin accents too).
std::vector<ReadLine> readDetectedLines(tesseract::TessBaseAPI& api, const LinesImage& image,
                                        const std::vector<DetectedTextLine>& found, bool fullWidthMarks, bool byNetwork,
                                        bool fewGlyphsByNetwork) {
    std::vector<ReadLine> lines;
    // A line the network read first has no models' reading to check.
    bool zerosByNetwork = !byNetwork;
    api.SetPageSegMode(tesseract::PSM_SINGLE_LINE);
    std::vector<cv::RotatedRect> boxes;
    for (const DetectedTextLine& line : found) {
        boxes.push_back(line.box);
    }
    for (const DetectedTextLine& line : found) {
        if (std::min(line.box.size.width, line.box.size.height) < smallestDetectedLine) {
            continue;
        }
        const cv::RotatedRect box = withInkAtItsEnds(image.grey, line.box, boxes);
        const bool eitherWay = mayBeOneGlyph(box);
        std::optional<LineReading> read;
        if (byNetwork) {
            read = withoutWords(lineReadByNetworkEitherWay(image, box, eitherWay));
            if (!read) {
                byNetwork = false;
            } else if (!read->candidate.text.empty() && fullWidthMarks) {
                read->candidate.text = withFullWidthPunctuation(withAsciiMarks(read->candidate.text));
            }
        }
        // A line of a glyph the network does not know: the language models
        // read it.
        if (!read || read->candidate.text.empty()) {
            read = lineReadByModels(api, image, box, LineTurn::whenStanding, fullWidthMarks);
            if (eitherWay) {
                read = likelier(std::move(read), lineReadByModels(api, image, box, LineTurn::never, fullWidthMarks));
            }
            if (zerosByNetwork && read && !fewGlyphs(read->candidate.text) &&
                holdsRoundGlyphWord(read->candidate.text)) {
                const auto network = lineReadByNetwork(image, box, LineTurn::whenStanding);
                if (!network) {
                    zerosByNetwork = false;
                    fewGlyphsByNetwork = false;
                } else {
                    std::string zeroed = withZerosTheNetworkSaw(read->candidate.text, withAsciiForms(network->text));
                    if (zeroed != read->candidate.text) {
                        read->candidate.text = std::move(zeroed);
                        read->words.clear();
                    }
                }
            }
            if (fewGlyphsByNetwork && (!read || fewGlyphs(read->candidate.text))) {
                std::optional<TextCandidate> network = lineReadByNetworkEitherWay(image, box, eitherWay);
                if (!network) {
                    fewGlyphsByNetwork = false;
                    zerosByNetwork = false;
                } else {
                    network->text = withAsciiForms(network->text);
                    if (inAscii(network->text)) {
                        read = likelier(std::move(read), withoutWords(std::move(network)));
                    }
                }
            }
        }
        if (!read || read->candidate.text.empty()) {
            continue;
        }
        lines.push_back({box.boundingRect2f(), std::move(read->candidate.text), read->candidate.confidence,
                         std::move(read->words)});
    }
    api.Clear();
    return lines;
}

// The lines the recogniser's layout analysis finds in `grey` (the image
// scaled by `scale`) and reads, with their words, in the image's pixels.
std::vector<ReadLine> laidOutLines(tesseract::TessBaseAPI& api, const cv::Mat& grey, double scale) {
    std::vector<ReadLine> lines;
    api.SetPageSegMode(tesseract::PSM_AUTO);
    api.SetImage(grey.data, grey.cols, grey.rows, 1, static_cast<int>(grey.step));
    if (api.Recognize(nullptr) != 0) {
        api.Clear();
        return lines;
    }
    const auto inImage = [scale](const cv::Rect& box) {
        return cv::Rect2f(static_cast<float>(box.x / scale), static_cast<float>(box.y / scale),
                          static_cast<float>(box.width / scale), static_cast<float>(box.height / scale));
    };
    for (RecognisedWord& word : recognisedWords(api)) {
        if (word.startsLine || lines.empty()) {
            const auto [box, confidence] = word.startsLine.value_or(std::pair(word.box, word.confidence));
            lines.push_back({inImage(box), {}, confidence, {}});
        }
        ReadLine& line = lines.back();
        line.text += (line.text.empty() ? "" : " ") + word.text;
        line.words.push_back({std::move(word.text), word.confidence, inImage(word.box), word.dictionary});
    }
    api.Clear();
    return lines;
}

// The lines read in a part of an image whose top left corner is `partAt`.
std::vector<TextObservation> observationsOf(std::vector<ReadLine> lines, cv::Size imageSize, cv::Point partAt) {
    std::vector<TextObservation> observations;
    for (ReadLine& line : lines) {
        TextObservation observation;
        const cv::Rect2f box = line.box + cv::Point2f(static_cast<float>(partAt.x), static_cast<float>(partAt.y));
        observation.boundingBox = normalizedRectFromPixels(box.x, box.y, box.br().x, box.br().y, imageSize);
        observation.topCandidate = TextCandidate{std::move(line.text), line.confidence};
        observations.push_back(std::move(observation));
    }
    return observations;
}

}  // namespace

PlatformOutcome<std::vector<TextObservation>> recognizeTextLines(const cv::Mat& rgb,
                                                                 const TextRecognitionOptions& options) {
    if (rgb.empty() || rgb.type() != CV_8UC3) {
        return visionServiceError(500, "Text recognition needs an 8-bit RGB image");
    }
    auto packs = recognitionLanguagePacks(options.languages, languagePackFolder());
    if (!packs) {
        return packs.error();
    }
    cv::Mat grey = greyForRecognition(rgb, options.level);

    const std::lock_guard lock(recognitionMutex);
    auto recogniser = recogniserCache().recogniserFor(packs.value());
    if (!recogniser) {
        return recogniser.error();
    }
    static const bool endsAtExit = std::atexit(endRecognisers) == 0;
    (void)endsAtExit;
    // The image library under the recogniser reports each box its layout
    // analysis clips at an image's edge ("box outside rectangle") on
    // standard error, which is the server's log; they are no failure.
    static const int quietImageLibrary = setMsgSeverity(L_SEVERITY_NONE);
    (void)quietImageLibrary;
    tesseract::TessBaseAPI& api = *recogniser.value();
    const bool squareGlyphs = readsSquareGlyphs(packs.value());
    // Without the fixed-pitch model for square glyphs the layout analysis
    // takes many lines of them for noise and finds no text at all.
    api.SetVariable("textord_use_cjk_fp_model", squareGlyphs ? "1" : "0");
    // The larger Chinese model reads each square glyph as a word of its own
    // and would put a space between every two of them; with this the line
    // keeps only the spaces the page has ("第2章 数据").
    api.SetVariable("preserve_interword_spaces", squareGlyphs ? "1" : "0");
    if (options.level == TextRecognitionLevel::accurate) {
        const std::optional<cv::Scalar> ground = plainGroundColour(rgb);
        // A dialog on an empty desktop is read in its own part of the
        // screen: with the whole screen, the detection network would see
        // its glyphs shrunk to the network's size.
        const bool shrunk = std::max(rgb.cols, rgb.rows) > longestUnshrunkPlainSide;
        const cv::Rect part = (ground && shrunk ? smallPlainContent(rgb, *ground) : std::nullopt)
                                  .value_or(cv::Rect(0, 0, rgb.cols, rgb.rows));
        const cv::Mat partRgb = rgb(part);
        if (const auto found = detectTextLines(partRgb, ground)) {
            // On a plain ground (a screen, a page, code) the layout analysis
            // reads what the detection network misses or cuts badly (a lone
            // digit in a field, a word split at a glyph's gap), and the
            // surer reading of each place is kept. A photo's texture only
            // gives the layout analysis marks to read.
            std::vector<ReadLine> laidOut;
            if (ground && !squareGlyphs) {
                const cv::Mat fastGrey = greyForRecognition(partRgb, TextRecognitionLevel::fast);
                laidOut = laidOutLines(api, fastGrey, static_cast<double>(fastGrey.cols) / part.width);
            }
            const LinesImage image{grey(part), ground ? std::optional(greyShade(*ground)) : std::nullopt};
            std::vector<ReadLine> detected = readDetectedLines(api, image, *found, printsFullWidthMarks(packs.value()),
                                                               readByNetwork(packs.value()), packs.value() == "eng");
            if (ground && !squareGlyphs) {
                detected = mergedLineReadings(detected, laidOut);
            }
            return observationsOf(std::move(detected), grey.size(), part.tl());
        }
    }
    std::optional<cv::Rect> onlyLine;
    if (squareGlyphs) {
        MeasuredLines measured = atReadableLineHeight(api, grey);
        grey = std::move(measured.grey);
        onlyLine = measured.onlyLine;
    }
    // The library's default reads the image as one block of text; photos
    // and screenshots need its page layout analysis. Its layout analysis
    // still splits or drops short lines of square glyphs, which read as a
    // block (of 200 rendered Chinese lines in four faces and five sizes,
    // 193 read exactly as a block, 171 through the layout analysis); a
    // block of one line still splits where a mark leaves a gap ("价 3" for
    // "价格是128元，含税。"), so a line found alone is read as a line.
    api.SetPageSegMode(!squareGlyphs ? tesseract::PSM_AUTO
                       : onlyLine    ? tesseract::PSM_SINGLE_LINE
                                     : tesseract::PSM_SINGLE_BLOCK);
    // The line's rows alone: the recogniser misreads a rectangle set on
    // the whole image when it starts at the left edge below the top.
    const cv::Rect read = onlyLine.value_or(cv::Rect(0, 0, grey.cols, grey.rows));
    const cv::Mat part = grey(read);
    api.SetImage(part.data, part.cols, part.rows, 1, static_cast<int>(part.step));
    if (api.Recognize(nullptr) != 0) {
        api.Clear();
        return visionServiceError(500, "Text recognition failed on a " + std::to_string(grey.cols) + "x" +
                                           std::to_string(grey.rows) + " image");
    }
    std::vector<TextObservation> lines = textLines(api, grey.size(), read.tl(), printsFullWidthMarks(packs.value()));
    api.Clear();
    return lines;
}

}  // namespace lumenary::platform::vision
