#include "platform/vision/worker/recognition_language_packs.hpp"

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform::vision {
namespace {

// A pack folder holding English and Simplified Chinese only, like the one
// the setup script installs.
class RecognitionLanguagePacksTest : public ::testing::Test {
protected:
    RecognitionLanguagePacksTest() {
        for (const char* pack : {"eng", "chi_sim"}) {
            std::ofstream(packs_.path() / (std::string(pack) + ".traineddata")) << "model";
        }
    }

    testing::TemporaryDirectory packs_;
};

struct LanguageCase {
    std::string name;
    std::vector<std::string> tags;
    std::optional<std::string> packs;  // absent: unsupported
    std::string unsupportedTag;
};

TEST_F(RecognitionLanguagePacksTest, MapsTagsThroughTheTableToInstalledPacks) {
    const std::vector<LanguageCase> cases{
        {"empty list means English", {}, "eng", ""},
        {"bare language", {"en"}, "eng", ""},
        {"regional English", {"en-GB"}, "eng", ""},
        {"case does not matter", {"EN-us"}, "eng", ""},
        {"script tag", {"zh-Hans"}, "chi_sim", ""},
        {"region of the script", {"zh-CN"}, "chi_sim", ""},
        {"script and region", {"zh-Hans-CN"}, "chi_sim", ""},
        {"order kept", {"zh-Hans", "en-US"}, "chi_sim+eng", ""},
        {"a pack named twice counts once", {"en-US", "zh-Hans", "en"}, "eng+chi_sim", ""},
        {"unknown tag", {"tlh"}, std::nullopt, "tlh"},
        {"known tag whose pack is not installed", {"fr-FR"}, std::nullopt, "fr-FR"},
        {"traditional Chinese is not simplified", {"zh-Hant"}, std::nullopt, "zh-Hant"},
        {"first bad tag named", {"en", "xx", "yy"}, std::nullopt, "xx"},
        {"a pack name is not a tag", {"eng"}, std::nullopt, "eng"},
        {"a path is not a tag", {"../chi_sim"}, std::nullopt, "../chi_sim"},
        {"empty tag", {""}, std::nullopt, ""},
    };
    for (const LanguageCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto packs = recognitionLanguagePacks(testCase.tags, packs_.path());
        if (testCase.packs) {
            ASSERT_TRUE(packs) << packs.error().description;
            EXPECT_EQ(packs.value(), *testCase.packs);
        } else {
            ASSERT_FALSE(packs);
            EXPECT_EQ(packs.error().domain, "VisionService");
            EXPECT_EQ(packs.error().code, 400);
            EXPECT_EQ(packs.error().description, "Unsupported recognition language: " + testCase.unsupportedTag);
        }
    }
}

TEST_F(RecognitionLanguagePacksTest, APackCountsOnceItsFileIsInstalled) {
    ASSERT_FALSE(recognitionLanguagePacks({"fr"}, packs_.path()));
    std::ofstream(packs_.path() / "fra.traineddata") << "model";
    const auto packs = recognitionLanguagePacks({"fr", "en"}, packs_.path());
    ASSERT_TRUE(packs);
    EXPECT_EQ(packs.value(), "fra+eng");
}

TEST_F(RecognitionLanguagePacksTest, PackFolderFollowsTheEnvironment) {
    testing::ScopedEnvironment environment;
    environment.set("TESSDATA_PREFIX", packs_.path().string());
    EXPECT_EQ(languagePackFolder(), packs_.path());
    environment.set("TESSDATA_PREFIX", std::nullopt);
    EXPECT_EQ(languagePackFolder(), "/usr/share/tesseract-ocr/5/tessdata");
}

TEST_F(RecognitionLanguagePacksTest, EachPackIsFollowedByItsLargerModelWhenOneWasFetched) {
    testing::TemporaryDirectory fetched;
    std::ofstream(fetched.path() / "chi_sim_large.traineddata") << "model";
    struct Case {
        std::string packs;
        std::string models;
    };
    const std::vector<Case> cases{
        {"chi_sim", "chi_sim+chi_sim_large"},
        {"eng", "eng"},
        {"chi_sim+eng", "chi_sim+chi_sim_large+eng"},
        {"eng+chi_sim", "eng+chi_sim+chi_sim_large"},
        {"chi_tra", "chi_tra"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.packs);
        EXPECT_EQ(withFetchedModels(testCase.packs, fetched.path()), testCase.models);
        EXPECT_EQ(withFetchedModels(testCase.packs, packs_.path()), testCase.packs) << "nothing fetched there";
    }
}

TEST(FetchedLanguagePackFolder, IsTheOverrideElseTheSetupCacheFolder) {
    struct Case {
        std::optional<std::string> override;
        std::optional<std::string> cacheHome;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/opt/text-models", "/cache", "/opt/text-models"},
        {"", "/cache", "/cache/lumenary/chi_sim-1.0.0"},
        {std::nullopt, "/cache", "/cache/lumenary/chi_sim-1.0.0"},
        {std::nullopt, "relative/cache", "/home/someone/.cache/lumenary/chi_sim-1.0.0"},
        {std::nullopt, std::nullopt, "/home/someone/.cache/lumenary/chi_sim-1.0.0"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.expected);
        testing::ScopedEnvironment environment;
        environment.set("HOME", "/home/someone");
        environment.set(fetchedLanguagePacksFolderVariable, testCase.override);
        environment.set("XDG_CACHE_HOME", testCase.cacheHome);
        EXPECT_EQ(fetchedLanguagePackFolder(), testCase.expected);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
