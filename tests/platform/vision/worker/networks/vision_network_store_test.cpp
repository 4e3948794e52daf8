#include "platform/vision/worker/networks/vision_network_store.hpp"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <limits>

#include "platform/vision/worker/networks/test_graph_model.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform::vision {
namespace {

vision_test::TestGraphModel doubling() {
    vision_test::TestGraphModel model;
    model.input("x", {1, 1, 1, 1});
    model.constant("two", {1, 1, 1, 1}, {2.0});
    model.node("y", "Conv2D", {"x", "two"}, vision_test::convolutionAttributes());
    return model;
}

TEST(VisionNetworkStore, AMissingNetworkFailsEveryCallWithAnErrorThatSaysHowToGetIt) {
    testing::TemporaryDirectory folder;
    VisionNetworkStore store(folder.path());
    const VisionNetworkDescription description{"doubling", {"y"}};
    const auto missing = store.network(description);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().domain, "VisionService");
    EXPECT_EQ(missing.error().code, 500);
    EXPECT_EQ(missing.error().description,
              "The vision network doubling could not be loaded from " + folder.path().string() +
                  ": doubling.json is missing; run scripts/setup to fetch the networks (or set "
                  "LUMENARY_VISION_NETWORKS_DIR to a folder that holds them)");

    // The failure is remembered: one attempt per worker.
    doubling().writeTo(folder.path(), "doubling");
    EXPECT_EQ(store.network(description).error().description, missing.error().description);

    VisionNetworkStore fresh(folder.path());
    const auto loaded = fresh.network(description);
    ASSERT_TRUE(loaded) << loaded.error().description;
    EXPECT_EQ(fresh.network(description).value(), loaded.value());
    cv::Mat input(std::vector<int>{1, 1, 1, 1}, CV_32F, cv::Scalar(3));
    EXPECT_EQ(loaded.value()->run(input).at(0).at<float>(0), 6.0f);
}

TEST(VisionNetworkStore, AMissingWeightFileIsNamed) {
    testing::TemporaryDirectory folder;
    doubling().writeTo(folder.path(), "doubling");
    std::filesystem::remove(folder.path() / "doubling.bin");
    const auto network = loadVisionNetwork(folder.path(), {"doubling", {"y"}});
    ASSERT_FALSE(network);
    EXPECT_NE(network.error().description.find(": doubling.bin is missing; run scripts/setup"), std::string::npos)
        << network.error().description;
}

TEST(VisionNetworkStore, ABrokenNetworkIsTheStoresErrorNamingTheNetworkAndWhatIsWrong) {
    const auto nested = [](const std::filesystem::path& folder) {
        vision_test::TestGraphModel model = doubling();
        model.node("z", "Relu", {"y"}, {{"T", "DEEP"}});
        std::string text = model.modelJSON("doubling.bin");
        const std::size_t depth = 2000;
        text.replace(text.find(R"("DEEP")"), 6, std::string(depth, '[') + std::string(depth, ']'));
        std::ofstream(folder / "doubling.json") << text;
    };
    const auto withWeight = [](double value) {
        return [value](const std::filesystem::path& folder) {
            vision_test::TestGraphModel model;
            model.input("x", {1, 1, 1, 1});
            model.constant("two", {1, 1, 1, 1}, {value});
            model.node("y", "Conv2D", {"x", "two"}, vision_test::convolutionAttributes());
            model.writeTo(folder, "doubling");
        };
    };
    const auto inPlaceOf = [](const char* file, std::function<void(const std::filesystem::path&)> make) {
        return [file, make](const std::filesystem::path& folder) {
            doubling().writeTo(folder, "doubling");
            std::filesystem::remove(folder / file);
            make(folder / file);
        };
    };
    struct Case {
        std::string name;
        std::function<void(const std::filesystem::path&)> write;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"nested", nested, "the model file nests deeper than 64 levels"},
        {"not a number", withWeight(std::numeric_limits<double>::quiet_NaN()),
         "the weight two holds values that are not numbers"},
        {"infinite", withWeight(-std::numeric_limits<double>::infinity()), "the weight two holds infinite values"},
        {"pipe", inPlaceOf("doubling.bin", [](const auto& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }),
         "doubling.bin is not a regular file"},
        {"folder", inPlaceOf("doubling.json", [](const auto& path) { std::filesystem::create_directory(path); }),
         "doubling.json is not a regular file"},
        {"device", inPlaceOf("doubling.bin", [](const auto& path) { std::filesystem::create_symlink("/dev/zero", path); }),
         "doubling.bin is not a regular file"},
        {"oversized model",
         inPlaceOf("doubling.json",
                   [](const auto& path) {
                       std::ofstream{path};
                       std::filesystem::resize_file(path, maximumGraphModelJSONBytes + 1);
                   }),
         "doubling.json is too large: a model file may hold at most 16777216 bytes"},
        {"oversized weights",
         inPlaceOf("doubling.bin",
                   [](const auto& path) {
                       std::ofstream{path};
                       std::filesystem::resize_file(path, maximumGraphModelWeightBytes + 1);
                   }),
         "doubling.bin is too large: a network's weights may hold at most 268435456 bytes"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        testing::TemporaryDirectory folder;
        testCase.write(folder.path());
        VisionNetworkStore store(folder.path());
        const auto network = store.network({"doubling", {"y"}});
        ASSERT_FALSE(network);
        EXPECT_EQ(network.error().domain, "VisionService");
        EXPECT_EQ(network.error().code, 500);
        EXPECT_EQ(network.error().description,
                  "The vision network doubling could not be loaded from " + folder.path().string() + ": " +
                      testCase.reason +
                      "; run scripts/setup to fetch the networks (or set LUMENARY_VISION_NETWORKS_DIR to a folder "
                      "that holds them)");
    }
}

TEST(VisionNetworkStore, TheFolderIsTheOverrideElseTheSetupCacheFolder) {
    struct Case {
        std::optional<std::string> override;
        std::optional<std::string> cacheHome;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/opt/networks", "/cache", "/opt/networks"},
        {"", "/cache", "/cache/lumenary/human-models-3.0.4"},
        {std::nullopt, "/cache", "/cache/lumenary/human-models-3.0.4"},
        {std::nullopt, "relative/cache", "/home/someone/.cache/lumenary/human-models-3.0.4"},
        {std::nullopt, std::nullopt, "/home/someone/.cache/lumenary/human-models-3.0.4"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.expected);
        testing::ScopedEnvironment environment;
        environment.set("HOME", "/home/someone");
        environment.set(visionNetworksFolderVariable, testCase.override);
        environment.set("XDG_CACHE_HOME", testCase.cacheHome);
        EXPECT_EQ(visionNetworksFolder(), testCase.expected);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
