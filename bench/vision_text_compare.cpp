#include "vision_text_compare.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/plain_ground_text.hpp"
#include "platform/vision/worker/screen_text.hpp"
#include "platform/vision/worker/text_photos.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"
#include "typeset_page_sets.hpp"
#include "typeset_pages.hpp"
#include "vision_bench_measures.hpp"
#include "vision_text_cases.hpp"
#include "vision_text_real_cases.hpp"
#include "vision_text_scores.hpp"

namespace lumenary::vision_bench {

namespace {

using namespace lumenary::platform;
using namespace lumenary::platform::vision;

enum class Scoring {
    exactLines,     // the read lines, joined, equal the label
    valuesFound,    // each labelled text found as a run of whole words
    wordsAndMarks,  // word recall, and words carrying a frame's mark
    codeLines,      // exact lines, and the label's own marks kept
    typesetLines,   // word recall, and the label's lines found among the read ones
};

struct LabelledCase {
    std::string name;
    std::string path;
    std::vector<std::string> lines;
    std::vector<std::string> languages;
};

struct TextSet {
    std::string name;
    Scoring scoring;
    std::vector<LabelledCase> cases;
};

struct Read {
    std::vector<std::string> lines;
    std::string failure;  // empty when the worker answered
};

// One figure of a set: `hits` of `total`, shown as a percentage (or per
// 100 words, which is the same sum).
struct Tally {
    long hits = 0;
    long total = 0;
    double score() const { return total == 0 ? 0.0 : 100.0 * static_cast<double>(hits) / static_cast<double>(total); }
};

struct Measure {
    const char* name;
    bool higherIsBetter;
};
constexpr Measure exactMeasure{"exact lines", true};
constexpr Measure valuesMeasure{"values found", true};
constexpr Measure recallMeasure{"words recall", true};
constexpr Measure edgeMarkMeasure{"edge-mark words per 100", false};
constexpr Measure marksKeptMeasure{"real marks kept", true};
// Of the words read, those the label holds: a reading that adds words
// falls here, where the measures of what was found only gain.
constexpr Measure readInLabelMeasure{"read words in the label", true};
constexpr Measure doubledMeasure{"doubled words", false};

// The set's own measures, then the two every set has.
std::vector<Measure> measuresOf(Scoring scoring) {
    std::vector<Measure> measures;
    switch (scoring) {
        case Scoring::exactLines: measures = {exactMeasure}; break;
        case Scoring::valuesFound: measures = {valuesMeasure}; break;
        case Scoring::wordsAndMarks: measures = {recallMeasure, edgeMarkMeasure}; break;
        case Scoring::codeLines: measures = {exactMeasure, marksKeptMeasure}; break;
        case Scoring::typesetLines: measures = {recallMeasure, exactMeasure}; break;
    }
    measures.push_back(readInLabelMeasure);
    measures.push_back(doubledMeasure);
    return measures;
}

// The marks a frame's edge or a box's side reads as.
constexpr std::string_view frameMarks = "[]{}|()";
// The marks code and shell lines hold that a reader must keep.
constexpr std::string_view codeMarks = "|[]{}";

std::vector<std::string> tokensOf(const std::string& line) {
    std::vector<std::string> tokens;
    std::istringstream words(line);
    std::string token;
    while (words >> token) {
        tokens.push_back(token);
    }
    return tokens;
}

std::string bareLowerCase(const std::string& token) {
    std::string bare;
    for (const char character : token) {
        if (frameMarks.find(character) == std::string_view::npos) {
            bare += static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
        }
    }
    return bare;
}

// Read words that start or end with a frame's mark that the labelled word
// they stand for does not (a read word no labelled word matches has no
// such mark of its own; a lone "|" counts too).
long edgeMarkWords(const std::vector<std::string>& labelled, const std::vector<std::string>& read) {
    std::vector<std::string> labelledWords;
    for (const std::string& line : labelled) {
        const auto tokens = tokensOf(line);
        labelledWords.insert(labelledWords.end(), tokens.begin(), tokens.end());
    }
    long marked = 0;
    for (const std::string& line : read) {
        for (const std::string& token : tokensOf(line)) {
            const auto markAt = [&](bool front) {
                const char mark = front ? token.front() : token.back();
                if (frameMarks.find(mark) == std::string_view::npos) {
                    return false;
                }
                return std::none_of(labelledWords.begin(), labelledWords.end(), [&](const std::string& word) {
                    return bareLowerCase(word) == bareLowerCase(token) && (front ? word.front() : word.back()) == mark;
                });
            };
            marked += markAt(true) || markAt(false) ? 1 : 0;
        }
    }
    return marked;
}

// Of the label's own | [ ] { }, how many the read holds, kind by kind.
Tally codeMarksKept(const std::string& label, const std::string& read) {
    Tally kept;
    for (const char mark : codeMarks) {
        const long wanted = std::count(label.begin(), label.end(), mark);
        kept.hits += std::min(wanted, static_cast<long>(std::count(read.begin(), read.end(), mark)));
        kept.total += wanted;
    }
    return kept;
}

// The labelled values `read` does not hold, each found at most once (two
// fields of 5 need two).
std::vector<std::string> missedValues(const std::vector<std::string>& values, const Read& read) {
    auto words = vision_test::wordsOf(joined(read.lines, " | "));
    std::vector<std::string> missed;
    for (const std::string& value : values) {
        if (const auto run = runOf(words, value)) {
            words.erase(words.begin() + static_cast<std::ptrdiff_t>(run->first),
                        words.begin() + static_cast<std::ptrdiff_t>(run->second));
        } else {
            missed.push_back(value);
        }
    }
    return missed;
}

std::string quoted(const std::vector<std::string>& values) {
    std::string text;
    for (const std::string& value : values) {
        text += (text.empty() ? "\"" : ", \"") + value + "\"";
    }
    return text.empty() ? "none" : text;
}

// Of the label's lines, how many the read lines hold, each read line
// standing for one label line at most; both sides spaced alike.
long linesFound(const std::vector<std::string>& labelled, const Read& read) {
    std::map<std::string, long> left;
    for (const std::string& line : read.lines) {
        ++left[typesetLine(line)];
    }
    long found = 0;
    for (const std::string& line : labelled) {
        if (long& count = left[typesetLine(line)]; count > 0) {
            --count;
            ++found;
        }
    }
    return found;
}

std::string shown(const Read& read) {
    return read.failure.empty() ? "\"" + joined(read.lines, " | ") + "\"" : "(failed: " + read.failure + ")";
}

// A set's figures over its cases, in measuresOf's order; the cases it got
// wrong go to `misreads`.
std::vector<Tally> scored(const TextSet& set, const std::vector<Read>& reads, std::vector<std::string>* misreads) {
    std::vector<Tally> tallies(measuresOf(set.scoring).size());
    for (std::size_t index = 0; index < set.cases.size(); ++index) {
        const LabelledCase& labelled = set.cases[index];
        const Read& read = reads[index];
        const auto expected = vision_test::wordsOf(joined(labelled.lines, " "));
        const auto words = vision_test::wordsOf(joined(read.lines, " "));
        const long common = vision_test::wordsInCommon(expected, words);
        Tally& inLabel = tallies[tallies.size() - 2];
        inLabel.hits += common;
        inLabel.total += static_cast<long>(words.size());
        Tally& doubled = tallies.back();
        doubled.hits += doubledWords(labelled.lines, read.lines);
        doubled.total += static_cast<long>(words.size());
        bool wrong = false;
        switch (set.scoring) {
            case Scoring::codeLines: {
                const Tally kept = codeMarksKept(joined(labelled.lines, " "), joined(read.lines, " "));
                tallies[1].hits += kept.hits;
                tallies[1].total += kept.total;
                [[fallthrough]];
            }
            case Scoring::exactLines: {
                const bool exact = joined(read.lines, " | ") == joined(labelled.lines, " | ");
                tallies[0].hits += exact ? 1 : 0;
                tallies[0].total += 1;
                wrong = !exact;
                break;
            }
            case Scoring::valuesFound: {
                const auto missed = missedValues(labelled.lines, read);
                tallies[0].hits += static_cast<long>(labelled.lines.size() - missed.size());
                tallies[0].total += static_cast<long>(labelled.lines.size());
                if (!missed.empty()) {
                    misreads->push_back(labelled.name + ": missed " + quoted(missed) + " in " + shown(read));
                }
                break;
            }
            case Scoring::wordsAndMarks: {
                const long marked = edgeMarkWords(labelled.lines, read.lines);
                tallies[0].hits += common;
                tallies[0].total += static_cast<long>(expected.size());
                tallies[1].hits += marked;
                tallies[1].total += static_cast<long>(expected.size());
                wrong = common != static_cast<long>(expected.size()) || common != static_cast<long>(words.size()) ||
                        marked > 0;
                break;
            }
            case Scoring::typesetLines: {
                // A page's reading is too long to show: what it came to.
                const long found = linesFound(labelled.lines, read);
                tallies[0].hits += common;
                tallies[0].total += static_cast<long>(expected.size());
                tallies[1].hits += found;
                tallies[1].total += static_cast<long>(labelled.lines.size());
                if (!read.failure.empty()) {
                    wrong = true;
                } else if (found < static_cast<long>(labelled.lines.size()) ||
                           common < static_cast<long>(words.size())) {
                    misreads->push_back(labelled.name + ": " + std::to_string(found) + " of " +
                                        std::to_string(labelled.lines.size()) + " lines, " + std::to_string(common) +
                                        " of " + std::to_string(words.size()) + " read words in the label");
                }
                break;
            }
        }
        if (wrong) {
            misreads->push_back(labelled.name + " -> " + shown(read));
        }
    }
    return tallies;
}

// Writes `image` as the set's next PNG file.
void addCase(TextSet& set, const std::filesystem::path& folder, const std::string& name, const cv::Mat& image,
             const std::vector<std::string>& lines, const std::vector<std::string>& languages) {
    std::string stem = set.name;
    std::replace_if(
        stem.begin(), stem.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; }, '-');
    const auto path = folder / (stem + "-" + std::to_string(set.cases.size()) + ".png");
    set.cases.push_back({name, vision_test::writtenImage(path, image), lines, languages});
}

void addImages(TextSet& set, const std::filesystem::path& folder, const std::string& prefix,
               const std::vector<vision_test::LabelledTextImage>& images, const std::vector<std::string>& languages) {
    for (const auto& image : images) {
        addCase(set, folder, prefix + image.name, image.image, image.lines, languages);
    }
}

std::vector<TextSet> labelledSets(const std::filesystem::path& folder) {
    const std::vector<std::string> english{"en"};
    std::vector<TextSet> sets;
    std::vector<std::string> missing;

    sets.push_back({"framed signs", Scoring::wordsAndMarks, {}});
    addImages(sets.back(), folder, "", vision_test::framedSigns(), english);

    sets.push_back({"dialogs cut out", Scoring::valuesFound, {}});
    TextSet onScreen{"dialogs on a screen", Scoring::valuesFound, {}};
    for (unsigned seed = 1; seed <= 12; ++seed) {
        const auto alone = vision_test::dialogScreen(seed);
        addCase(sets.back(), folder, alone.name, alone.image, alone.lines, english);
        const auto screen = vision_test::dialogOnScreen(seed);
        addCase(onScreen, folder, screen.name, screen.image, screen.lines, english);
    }
    sets.push_back(std::move(onScreen));

    const std::vector<std::pair<std::string, double>> margins{
        {"margin 0", 0.0}, {"margin 1/8", 0.125}, {"margin 1/4", 0.25}, {"roomy margin", 1.0}};
    for (const auto& [marginName, margin] : margins) {
        sets.push_back({"lines cut close, " + marginName, Scoring::exactLines, {}});
        for (const auto& [faceName, face] : vision_test::installedLatinFaces()) {
            for (const int size : {14, 20, 28, 36}) {
                addImages(sets.back(), folder, faceName + " " + std::to_string(size) + " px: ",
                          vision_test::closelyCroppedLines(face, size, margin), english);
            }
        }
    }

    sets.push_back({"Chinese lines at 24 px", Scoring::exactLines, {}});
    addImages(sets.back(), folder, "", chineseSmallLines(), {"zh-Hans"});

    sets.push_back({"photos with text", Scoring::wordsAndMarks, {}});
    for (const auto& photo : vision_test::labelledTextPhotos(&missing)) {
        addCase(sets.back(), folder, photo.name, photo.image, photo.lines, photo.languages);
    }
    sets.push_back({"framed signs on photos", Scoring::wordsAndMarks, {}});
    for (const auto& photo : vision_test::framedSignsOnPhotos(&missing)) {
        addCase(sets.back(), folder, photo.name, photo.image, photo.lines, photo.languages);
    }
    for (const std::string& path : missing) {
        std::printf("photo left out, not installed: %s\n", path.c_str());
    }

    sets.push_back({"book page pieces", Scoring::wordsAndMarks, {}});
    addImages(sets.back(), folder, "", vision_test::bookPagePieces(), english);

    sets.push_back({"dialogs with controls", Scoring::valuesFound, {}});
    for (unsigned seed = 1; seed <= 12; ++seed) {
        const auto dialog = vision_test::controlDialog(seed);
        addCase(sets.back(), folder, dialog.name, dialog.image, dialog.lines, english);
    }

    sets.push_back({"code lines", Scoring::codeLines, {}});
    sets.push_back({"capitals cut to ink", Scoring::exactLines, {}});
    for (const auto& [faceName, face] : vision_test::installedLatinFaces()) {
        if (faceName == "DejaVu Sans" || faceName == "DejaVu Sans Mono") {
            for (const int size : {16, 20, 24, 28}) {
                addImages(sets[sets.size() - 2], folder,
                          faceName + " " + std::to_string(size) + " px: ", vision_test::codeLines(face, size), english);
            }
        }
        for (const int size : {16, 24, 40}) {
            addImages(sets.back(), folder,
                      faceName + " " + std::to_string(size) + " px: ", vision_test::capitalHeadings(face, size),
                      english);
        }
    }

    // The code lines again, with table rows and pipelines, in monospace
    // faces the tests never draw in: a set of its own, so that the one
    // above stays comparable with its records.
    sets.push_back({"code lines, other faces", Scoring::codeLines, {}});
    for (const auto& [faceName, face] : vision_test::installedOtherMonospaceFaces()) {
        for (const int size : {16, 20, 24, 28}) {
            const std::string prefix = faceName + " " + std::to_string(size) + " px: ";
            addImages(sets.back(), folder, prefix, vision_test::codeLines(face, size), english);
            addImages(sets.back(), folder, prefix, vision_test::tableRowsAndPipelines(face, size), english);
        }
    }
    return sets;
}

constexpr std::string_view realScreensPrefix = "real screens: ";
constexpr std::string_view realPagesPrefix = "real pages: ";
constexpr std::string_view realPhotosPrefix = "real photos: ";

bool wanted(const TextCompareSettings& settings, const std::string& setName) {
    return !settings.onlySets || setName.find(*settings.onlySets) != std::string::npos;
}

TypesetSetsWanted typesetWanted(const TextCompareSettings& settings) {
    return {wanted(settings, typesetAt100DpiSet), wanted(settings, typesetAt150DpiSet),
            wanted(settings, typesetPhotographedSet)};
}

// The set of a manifest's screen, scanned page or photo; none for a PDF
// page, which makes the typeset sets of every manifest.
std::optional<std::string> realSetName(const RealManifest& manifest, RealImage::Kind kind) {
    switch (kind) {
        case RealImage::Kind::screen: return std::string(realScreensPrefix) + manifest.program;
        case RealImage::Kind::page: return std::string(realPagesPrefix) + manifest.program;
        case RealImage::Kind::photo: return std::string(realPhotosPrefix) + manifest.program;
        case RealImage::Kind::pdfPage: break;
    }
    return std::nullopt;
}

bool imageWanted(const TextCompareSettings& settings, const RealManifest& manifest, const RealImage& image) {
    if (const auto name = realSetName(manifest, image.kind)) {
        return wanted(settings, *name);
    }
    const TypesetSetsWanted typeset = typesetWanted(settings);
    return typeset.at100Dpi || typeset.at150Dpi || typeset.photographed;
}

// A manifest's typeset pages added to the typeset sets (made when absent),
// each drawn and labelled from its PDF.
void addTypesetPages(std::vector<TextSet>& sets, const std::filesystem::path& folder, const RealManifest& manifest,
                     const std::vector<RealImage>& pages, const TextCompareSettings& settings) {
    for (TypesetCase& page : typesetCases(pages, folder, typesetWanted(settings))) {
        auto set = std::find_if(sets.begin(), sets.end(), [&](const TextSet& each) { return each.name == page.set; });
        if (set == sets.end()) {
            set = sets.insert(sets.end(), TextSet{page.set, Scoring::typesetLines, {}});
        }
        set->cases.push_back({page.name, page.image.string(), std::move(page.lines), manifest.languages});
    }
}

// A set per manifest and kind: its screens scored by the values found, its
// pages and photos by their words; and the typeset pages of them all, by
// how they are drawn. Only the manifests with a set wanted are fetched.
std::vector<TextSet> realSets(const std::filesystem::path& folder, const TextCompareSettings& settings) {
    const auto fetched = folder / "real-text";
    std::vector<RealManifest> manifests;
    std::vector<std::filesystem::path> toFetch;
    for (const auto& path : realManifests(settings.realTextManifests)) {
        auto manifest = readRealManifest(path, fetched);
        if (!manifest) {
            std::printf("real material left out: %s\n", manifest.error().description.c_str());
            continue;
        }
        const auto& images = manifest.value().images;
        if (std::any_of(images.begin(), images.end(),
                        [&](const RealImage& image) { return imageWanted(settings, manifest.value(), image); })) {
            toFetch.push_back(path);
            manifests.push_back(std::move(manifest.value()));
        }
    }
    if (!toFetch.empty()) {
        std::fprintf(stderr, "vision_bench: bringing the real material...\n");
        const auto status = fetchRealImages(settings.fetchRealText, fetched, toFetch);
        if (!status) {
            std::printf("real material: %s\n", status.error().description.c_str());
        } else if (status.value() != 0) {
            std::printf(
                "real material: %s ended with %d (its messages on standard error); what it could not bring "
                "is left out\n",
                settings.fetchRealText.c_str(), status.value());
        }
    }
    std::vector<TextSet> sets;
    std::vector<TextSet> typesetSets;
    for (const RealManifest& manifest : manifests) {
        // By kind, in the order of its values.
        std::vector<TextSet> ofKind;
        for (const RealImage::Kind kind : {RealImage::Kind::screen, RealImage::Kind::page, RealImage::Kind::photo}) {
            ofKind.push_back({*realSetName(manifest, kind),
                              kind == RealImage::Kind::screen ? Scoring::valuesFound : Scoring::wordsAndMarks,
                              {}});
        }
        std::vector<RealImage> typesetPages;
        for (const RealImage& image : manifest.images) {
            if (!imageWanted(settings, manifest, image)) {
                continue;
            }
            std::error_code error;
            if (!std::filesystem::is_regular_file(image.path, error) ||
                std::filesystem::file_size(image.path, error) == 0) {
                std::printf("real image left out, not brought: %s (%s)\n", image.name.c_str(),
                            manifest.program.c_str());
            } else if (image.kind == RealImage::Kind::pdfPage) {
                typesetPages.push_back(image);
            } else {
                ofKind[static_cast<std::size_t>(image.kind)].cases.push_back(
                    {image.name, image.path.string(), image.lines, manifest.languages});
            }
        }
        for (TextSet& set : ofKind) {
            if (!set.cases.empty()) {
                sets.push_back(std::move(set));
            }
        }
        if (!typesetPages.empty()) {
            std::fprintf(stderr, "vision_bench: drawing the typeset pages of %s...\n", manifest.program.c_str());
            addTypesetPages(typesetSets, folder, manifest, typesetPages, settings);
        }
    }
    for (TextSet& set : typesetSets) {
        sets.push_back(std::move(set));
    }
    return sets;
}

struct Reader {
    std::string column;  // the table's column
    std::string program;
    TextRecognitionLevel level;
};

// Every case of every set read through `reader`'s worker program.
std::vector<std::vector<Read>> readAll(const Reader& reader, const std::vector<TextSet>& sets) {
    const auto analyzer = makeWorkerVisionAnalyzer({reader.program, std::chrono::milliseconds(60'000), 1});
    std::vector<std::vector<Read>> reads;
    for (const TextSet& set : sets) {
        reads.emplace_back();
        for (const LabelledCase& labelled : set.cases) {
            Read read;
            const auto observations = analyzer->recognizeText(labelled.path, {reader.level, labelled.languages});
            if (!observations) {
                read.failure = observations.error().description;
            } else {
                for (const TextObservation& observation : observations.value()) {
                    if (observation.topCandidate) {
                        read.lines.push_back(observation.topCandidate->text);
                    }
                }
            }
            reads.back().push_back(std::move(read));
        }
        std::fprintf(stderr, "vision_bench: %s read %s\n", reader.column.c_str(), set.name.c_str());
    }
    return reads;
}

using RecordKey = std::pair<std::string, std::string>;  // set, measure

// The accurate level's figures of a record, by set and measure.
PlatformOutcome<std::map<RecordKey, Tally>> accurateFiguresOf(const std::filesystem::path& path) {
    std::ifstream file(path);
    if (!file) {
        return PlatformError{"vision_bench", 1, "cannot open the record " + path.string()};
    }
    std::map<RecordKey, Tally> figures;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) {
            fields.push_back(field);
        }
        Tally tally;
        std::size_t hitsEnd = 0;
        std::size_t totalEnd = 0;
        try {
            if (fields.size() == 5) {
                tally = {std::stol(fields[3], &hitsEnd), std::stol(fields[4], &totalEnd)};
            }
        } catch (const std::exception&) {
            hitsEnd = 0;
        }
        if (fields.size() != 5 || hitsEnd != fields[3].size() || totalEnd != fields[4].size() || tally.hits < 0 ||
            tally.total < tally.hits) {
            return PlatformError{
                "vision_bench", 2,
                path.string() + ":" + std::to_string(number) +
                    ": not a record line (set, measure, level, hits, total separated by tabs): " + line};
        }
        if (fields[2] == "accurate") {
            figures[{fields[0], fields[1]}] = tally;
        }
    }
    return figures;
}

std::string cell(const std::optional<Tally>& tally) {
    if (!tally) {
        return "—";
    }
    char text[48];
    std::snprintf(text, sizeof text, "%.1f (%ld/%ld)", tally->score(), tally->hits, tally->total);
    return text;
}

// `text` with spaces after it to fill `width` characters (not bytes: a
// program's name or a missing figure's dash may be more than one byte).
std::string padded(const std::string& text, std::size_t width) {
    const auto characters = static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }));
    return text + std::string(width > characters ? width - characters : 0, ' ');
}

// Whether `now` is worse than `other` by the measure's sense.
bool worse(const Measure& measure, const Tally& now, const std::optional<Tally>& other) {
    if (!other || other->total == 0) {
        return false;
    }
    return measure.higherIsBetter ? now.score() < other->score() : now.score() > other->score();
}

}  // namespace

void benchmarkTextCompare(const std::filesystem::path& folder, const TextCompareSettings& settings) {
    std::optional<std::map<RecordKey, Tally>> previousFigures;
    if (settings.previousRecord) {
        auto figures = accurateFiguresOf(*settings.previousRecord);
        require(figures, "reading the previous record");
        previousFigures = std::move(figures.value());
    }
    std::fprintf(stderr, "vision_bench: drawing the labelled sets...\n");
    std::vector<TextSet> sets = labelledSets(folder);
    std::erase_if(sets, [&](const TextSet& set) { return !wanted(settings, set.name); });
    for (TextSet& set : realSets(folder, settings)) {
        sets.push_back(std::move(set));
    }

    std::vector<Reader> readers{{"accurate now", settings.workerProgram, TextRecognitionLevel::accurate},
                                {"fast now", settings.workerProgram, TextRecognitionLevel::fast}};
    if (settings.previousWorkerProgram) {
        readers.push_back({"accurate previous", *settings.previousWorkerProgram, TextRecognitionLevel::accurate});
    }
    // Each level in a worker of its own at once: only the reads are
    // compared, never their times.
    std::vector<std::vector<std::vector<Read>>> reads(readers.size());
    {
        std::vector<std::thread> threads;
        for (std::size_t index = 0; index < readers.size(); ++index) {
            threads.emplace_back([&reads, &readers, &sets, index] { reads[index] = readAll(readers[index], sets); });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    for (std::size_t index = 0; index < readers.size(); ++index) {
        long failures = 0;
        long cases = 0;
        std::string first;
        for (const auto& setReads : reads[index]) {
            for (const Read& read : setReads) {
                if (!read.failure.empty() && failures++ == 0) {
                    first = read.failure;
                }
                ++cases;
            }
        }
        if (failures > 0) {
            std::printf(
                "%s (%s): %ld of %ld reads failed%s; the first: %s\n", readers[index].column.c_str(),
                readers[index].program.c_str(), failures, cases,
                failures == cases ? " (every one: a missing program, or one that speaks another protocol?)" : "",
                first.c_str());
        }
    }

    std::FILE* record = nullptr;
    if (settings.record) {
        record = std::fopen(settings.record->c_str(), "w");
        if (record == nullptr) {
            std::fprintf(stderr, "vision_bench: cannot write the record %s\n", settings.record->c_str());
            std::exit(1);
        }
    }
    const char* previousColumn = settings.previousRecord ? "accurate (record)" : "accurate previous";
    std::printf(
        "\nlabelled text sets through the worker programs, end to end (scores in %% or per 100 words)\n"
        "%-38s %-24s %-20s %-20s %-20s\n",
        "set (images)", "measure", "accurate now", "fast now", previousColumn);
    std::vector<std::pair<std::string, std::vector<std::string>>> misreadsPerSet;
    // The real screens where the accurate level found fewer values than the
    // fast one or the previous build: what it is tuned on.
    std::vector<std::string> behind;
    for (std::size_t setIndex = 0; setIndex < sets.size(); ++setIndex) {
        const TextSet& set = sets[setIndex];
        std::vector<std::vector<Tally>> tallies;
        std::vector<std::string> misreads;
        for (std::size_t index = 0; index < readers.size(); ++index) {
            std::vector<std::string> ignored;
            tallies.push_back(scored(set, reads[index][setIndex], index == 0 ? &misreads : &ignored));
        }
        const auto measures = measuresOf(set.scoring);
        for (std::size_t measureIndex = 0; measureIndex < measures.size(); ++measureIndex) {
            const Measure& measure = measures[measureIndex];
            const Tally& accurate = tallies[0][measureIndex];
            const Tally& fast = tallies[1][measureIndex];
            std::optional<Tally> previous;
            if (readers.size() > 2) {
                previous = tallies[2][measureIndex];
            } else if (previousFigures) {
                const auto found = previousFigures->find({set.name, measure.name});
                if (found != previousFigures->end()) {
                    previous = found->second;
                }
            }
            const bool fell = worse(measure, accurate, fast) || worse(measure, accurate, previous);
            const std::string setColumn = set.name + " (" + std::to_string(set.cases.size()) + ")";
            std::printf("%s %-24s %s %s %s%s\n", padded(setColumn, 38).c_str(), measure.name,
                        padded(cell(accurate), 20).c_str(), padded(cell(fast), 20).c_str(),
                        padded(cell(previous), 20).c_str(), fell ? " FELL" : "");
            if (record != nullptr) {
                std::fprintf(record, "%s\t%s\taccurate\t%ld\t%ld\n%s\t%s\tfast\t%ld\t%ld\n", set.name.c_str(),
                             measure.name, accurate.hits, accurate.total, set.name.c_str(), measure.name, fast.hits,
                             fast.total);
            }
        }
        misreadsPerSet.emplace_back(set.name, std::move(misreads));
        if (set.name.starts_with(realScreensPrefix)) {
            for (std::size_t index = 0; index < set.cases.size(); ++index) {
                const auto accurateMissed = missedValues(set.cases[index].lines, reads[0][setIndex][index]);
                // Against the fast level, and against the previous build
                // where its worker was read too.
                for (std::size_t other = 1; other < readers.size(); ++other) {
                    const auto otherMissed = missedValues(set.cases[index].lines, reads[other][setIndex][index]);
                    if (accurateMissed.size() > otherMissed.size()) {
                        behind.push_back(readers[other].column + ": " + set.name + ", " + set.cases[index].name +
                                         "\n    accurate now missed " + quoted(accurateMissed) + "\n    " +
                                         readers[other].column + " missed " + quoted(otherMissed));
                    }
                }
            }
        }
    }
    if (record != nullptr && std::fclose(record) != 0) {
        std::fprintf(stderr, "vision_bench: writing the record %s failed\n", settings.record->c_str());
        std::exit(1);
    }
    constexpr std::size_t shownPerSet = 10;
    for (const auto& [name, misreads] : misreadsPerSet) {
        if (misreads.empty()) {
            continue;
        }
        std::printf("\nmisread by the accurate level now, %s (%zu)\n", name.c_str(), misreads.size());
        for (std::size_t index = 0; index < std::min(shownPerSet, misreads.size()); ++index) {
            std::printf("  %s\n", misreads[index].c_str());
        }
        if (misreads.size() > shownPerSet) {
            std::printf("  ... and %zu more\n", misreads.size() - shownPerSet);
        }
    }
    if (!behind.empty()) {
        std::printf("\nreal screens where the accurate level found fewer values than another reading (%zu)\n",
                    behind.size());
        for (const std::string& line : behind) {
            std::printf("  %s\n", line.c_str());
        }
    }
}

}  // namespace lumenary::vision_bench
