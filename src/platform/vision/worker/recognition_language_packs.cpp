#include "platform/vision/worker/recognition_language_packs.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "platform/defaults/cache_directory.hpp"
#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::platform::vision {
namespace {

struct LanguageTag {
    std::string_view tag;
    std::string_view pack;
};

// Common tags, with the regional and script forms callers send, for the
// widely used languages Debian packs a recogniser model of
// (tesseract-ocr-<pack>); the setup script installs English, Simplified
// Chinese and French. Plain "zh" is left out: it does not say which script.
constexpr std::array languageTable{
    LanguageTag{"en", "eng"},
    LanguageTag{"en-US", "eng"},
    LanguageTag{"en-GB", "eng"},
    LanguageTag{"en-AU", "eng"},
    LanguageTag{"en-CA", "eng"},
    LanguageTag{"en-IE", "eng"},
    LanguageTag{"en-IN", "eng"},
    LanguageTag{"en-NZ", "eng"},
    LanguageTag{"en-ZA", "eng"},
    LanguageTag{"zh-Hans", "chi_sim"},
    LanguageTag{"zh-CN", "chi_sim"},
    LanguageTag{"zh-SG", "chi_sim"},
    LanguageTag{"zh-Hans-CN", "chi_sim"},
    LanguageTag{"zh-Hans-SG", "chi_sim"},
    LanguageTag{"zh-Hant", "chi_tra"},
    LanguageTag{"zh-TW", "chi_tra"},
    LanguageTag{"zh-HK", "chi_tra"},
    LanguageTag{"zh-Hant-TW", "chi_tra"},
    LanguageTag{"zh-Hant-HK", "chi_tra"},
    LanguageTag{"fr", "fra"},
    LanguageTag{"fr-FR", "fra"},
    LanguageTag{"fr-CA", "fra"},
    LanguageTag{"de", "deu"},
    LanguageTag{"de-DE", "deu"},
    LanguageTag{"de-AT", "deu"},
    LanguageTag{"de-CH", "deu"},
    LanguageTag{"es", "spa"},
    LanguageTag{"es-ES", "spa"},
    LanguageTag{"es-MX", "spa"},
    LanguageTag{"it", "ita"},
    LanguageTag{"it-IT", "ita"},
    LanguageTag{"pt", "por"},
    LanguageTag{"pt-BR", "por"},
    LanguageTag{"pt-PT", "por"},
    LanguageTag{"ja", "jpn"},
    LanguageTag{"ja-JP", "jpn"},
    LanguageTag{"ko", "kor"},
    LanguageTag{"ko-KR", "kor"},
    LanguageTag{"ru", "rus"},
    LanguageTag{"ru-RU", "rus"},
    LanguageTag{"uk", "ukr"},
    LanguageTag{"uk-UA", "ukr"},
};

bool sameIgnoringAsciiCase(std::string_view first, std::string_view second) {
    return std::equal(first.begin(), first.end(), second.begin(), second.end(), [](char left, char right) {
        const auto lower = [](char character) {
            return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
        };
        return lower(left) == lower(right);
    });
}

std::string_view packForTag(std::string_view tag) {
    for (const LanguageTag& entry : languageTable) {
        if (sameIgnoringAsciiCase(entry.tag, tag)) {
            return entry.pack;
        }
    }
    return {};
}

bool isPackInstalled(const std::filesystem::path& packFolder, std::string_view pack) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(packFolder / (std::string(pack) + ".traineddata"), ignored);
}

}  // namespace

std::filesystem::path languagePackFolder() {
    const char* configured = std::getenv("TESSDATA_PREFIX");
    if (configured != nullptr && *configured != '\0') {
        return configured;
    }
    return "/usr/share/tesseract-ocr/5/tessdata";
}

std::filesystem::path fetchedLanguagePackFolder() {
    if (const char* folder = std::getenv(fetchedLanguagePacksFolderVariable); folder != nullptr && *folder != '\0') {
        return folder;
    }
    // scripts/setup fetches the model into this folder (chinese_dir there).
    return cacheDirectory() / "chi_sim-1.0.0";
}

std::string withFetchedModels(const std::string& packs, const std::filesystem::path& fetchedFolder) {
    std::string models;
    std::size_t start = 0;
    while (start <= packs.size()) {
        const std::size_t end = std::min(packs.find('+', start), packs.size());
        const std::string pack = packs.substr(start, end - start);
        models += (models.empty() ? "" : "+") + pack;
        if (!pack.empty() && isPackInstalled(fetchedFolder, pack + "_large")) {
            models += "+" + pack + "_large";
        }
        start = end + 1;
    }
    return models;
}

PlatformOutcome<std::string> recognitionLanguagePacks(const std::vector<std::string>& tags,
                                                      const std::filesystem::path& packFolder) {
    if (tags.empty()) {
        // Whether English is installed shows when the recogniser loads it.
        return std::string(packForTag("en"));
    }
    std::vector<std::string_view> packs;
    for (const std::string& tag : tags) {
        const std::string_view pack = packForTag(tag);
        if (pack.empty() || !isPackInstalled(packFolder, pack)) {
            return visionServiceError(400, "Unsupported recognition language: " + tag);
        }
        if (std::find(packs.begin(), packs.end(), pack) == packs.end()) {
            packs.push_back(pack);
        }
    }
    std::string joined;
    for (const std::string_view pack : packs) {
        if (!joined.empty()) {
            joined += '+';
        }
        joined += pack;
    }
    return joined;
}

}  // namespace lumenary::platform::vision
