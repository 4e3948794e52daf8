#include <sys/stat.h>

#include <gtest/gtest.h>

#include <limits>
#include <utility>

#include <ZXing/BarcodeFormat.h>

#include "app/tools/category_call.hpp"
#include "app/tools/vision/vision_tool_handler.hpp"
#include "mcp/core/json.hpp"
#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/networks/packaged_photos.hpp"
#include "platform/vision/worker/networks/test_graph_model.hpp"
#include "platform/vision/worker/test_images.hpp"
#include "platform/vision/worker/test_videos.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

// The networks behind the real worker program (lumenary-vision beside this
// test program), as the server uses them.
namespace lumenary::platform::vision {
namespace {

TEST(NetworkWorker, AnimalsBodyPosesAndSaliencyComeThroughTheWorker) {
    LUMENARY_PACKAGED_PHOTO(person, vision_test::personWithDogAndHorse);
    lumenary::testing::TemporaryDirectory folder;
    const auto path = vision_test::writtenImage(folder.path() / "person.png", person);
    const auto analyzer = makeWorkerVisionAnalyzer();

    const auto animals = analyzer->recognizeAnimals(path);
    ASSERT_TRUE(animals) << animals.error().description;
    ASSERT_EQ(animals.value().size(), 1u);
    EXPECT_EQ(animals.value()[0].labels.front().identifier, "Dog");

    const auto poses = analyzer->detectBodyPose(path);
    ASSERT_TRUE(poses) << poses.error().description;
    ASSERT_EQ(poses.value().size(), 1u);
    EXPECT_EQ(poses.value()[0].joints.size(), 18u);

    // The person, the dog and the horse; attention on one of them.
    for (const auto& [kind, regions] : {std::pair{SaliencyKind::objectness, 3u}, {SaliencyKind::attention, 1u}}) {
        const auto saliency = analyzer->analyzeSaliency(path, kind);
        ASSERT_TRUE(saliency) << saliency.error().description;
        ASSERT_EQ(saliency.value().size(), 1u);
        ASSERT_TRUE(saliency.value()[0].salientObjects);
        EXPECT_EQ(saliency.value()[0].salientObjects->size(), regions);
    }

    const auto missing = analyzer->recognizeAnimals((folder.path() / "none.png").string());
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, 404);
}

TEST(NetworkWorker, MissingNetworksFailTheirCallsWithHowToGetThemAndTheWorkerCarriesOn) {
    lumenary::testing::TemporaryDirectory folder;
    lumenary::testing::ScopedEnvironment environment;
    // The worker reads it when it starts, which is after this.
    environment.set(visionNetworksFolderVariable, (folder.path() / "no networks").string());
    const auto analyzer = makeWorkerVisionAnalyzer();
    const auto image = vision_test::writtenImage(folder.path() / "grey.png", cv::Mat(64, 64, CV_8UC3, cv::Scalar(128)));

    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto animals = analyzer->recognizeAnimals(image);
        ASSERT_FALSE(animals);
        EXPECT_EQ(animals.error().code, 500);
        EXPECT_EQ(animals.error().description,
                  "The vision network nanodet could not be loaded from " + (folder.path() / "no networks").string() +
                      ": nanodet.json is missing; run scripts/setup to fetch the networks (or set "
                      "LUMENARY_VISION_NETWORKS_DIR to a folder that holds them)");
        const auto poses = analyzer->detectBodyPose(image);
        ASSERT_FALSE(poses);
        EXPECT_NE(poses.error().description.find("The vision network posenet could not be loaded"), std::string::npos);
        const auto saliency = analyzer->analyzeSaliency(image, SaliencyKind::attention);
        ASSERT_FALSE(saliency);
        EXPECT_EQ(saliency.error().description, animals.error().description);
    }
    const auto barcodes = analyzer->detectBarcodes(
        vision_test::writtenImage(folder.path() / "qr.png",
                                  vision_test::drawnBarcode(ZXing::BarcodeFormat::QRCode, "still here")));
    ASSERT_TRUE(barcodes) << barcodes.error().description;
    ASSERT_EQ(barcodes.value().size(), 1u);
}

TEST(NetworkWorker, BrokenNetworkFilesFailTheirCallsByNameAndTheWorkerCarriesOn) {
    lumenary::testing::TemporaryDirectory folder;
    const auto networks = folder.path() / "networks";
    std::filesystem::create_directory(networks);
    const auto smallModel = [](double weight) {
        vision_test::TestGraphModel model;
        model.input("x", {1, 1, 1, 1});
        model.constant("w", {1, 1, 1, 1}, {weight});
        model.node("y", "Conv2D", {"x", "w"}, vision_test::convolutionAttributes());
        return model;
    };
    // An attribute nested 100,000 deep once overflowed the worker's stack.
    std::string deep = smallModel(1).modelJSON("posenet.bin");
    deep.insert(deep.find(R"("attr":{)") + 8, R"("deep":)" + std::string(100000, '[') + std::string(100000, ']') + ",");
    vision_test::writtenBytes(networks / "posenet.json", deep);
    vision_test::writtenBytes(networks / "posenet.bin", smallModel(1).weightBytes());
    smallModel(std::numeric_limits<double>::quiet_NaN()).writeTo(networks, "nanodet");
    smallModel(1).writeTo(networks, "handdetect");
    std::filesystem::remove(networks / "handdetect.bin");
    ASSERT_EQ(::mkfifo((networks / "handdetect.bin").c_str(), 0600), 0);
    lumenary::testing::ScopedEnvironment environment;
    environment.set(visionNetworksFolderVariable, networks.string());
    const auto analyzer = makeWorkerVisionAnalyzer();
    const auto image = vision_test::writtenImage(folder.path() / "grey.png", cv::Mat(64, 64, CV_8UC3, cv::Scalar(128)));
    const auto failure = [&networks](const std::string& network, const std::string& reason) {
        return "The vision network " + network + " could not be loaded from " + networks.string() + ": " + reason +
               "; run scripts/setup to fetch the networks (or set LUMENARY_VISION_NETWORKS_DIR to a folder that holds "
               "them)";
    };

    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto poses = analyzer->detectBodyPose(image);
        ASSERT_FALSE(poses);
        EXPECT_EQ(poses.error().description, failure("posenet", "the model file nests deeper than 64 levels"));
        const auto animals = analyzer->recognizeAnimals(image);
        ASSERT_FALSE(animals);
        EXPECT_EQ(animals.error().description, failure("nanodet", "the weight w holds values that are not numbers"));
        const auto hands = analyzer->detectHandPose(image);
        ASSERT_FALSE(hands);
        EXPECT_EQ(hands.error().description, failure("handdetect", "handdetect.bin is not a regular file"));
    }
    const auto barcodes = analyzer->detectBarcodes(
        vision_test::writtenImage(folder.path() / "qr.png",
                                  vision_test::drawnBarcode(ZXing::BarcodeFormat::QRCode, "still here")));
    ASSERT_TRUE(barcodes) << barcodes.error().description;
    ASSERT_EQ(barcodes.value().size(), 1u);
}

TEST(NetworkWorker, VideoAnalysisFindsTheAnimalsAndBodyPosesOfEachSampledFrame) {
    LUMENARY_PACKAGED_PHOTO(person, vision_test::personWithDogAndHorse);
    lumenary::testing::TemporaryDirectory folder;
    vision_test::VideoRecipe recipe;
    recipe.frameCount = 60;
    recipe.size = {640, 424};
    recipe.picture = [&person](int, cv::Size size) {
        cv::Mat frame;
        cv::resize(person, frame, size, 0, 0, cv::INTER_AREA);
        return frame;
    };
    const auto video = vision_test::writtenVideo(folder.path() / "person.mp4", recipe);
    app::VisionToolHandler tools{std::make_shared<app::VisionService>(makeWorkerVisionAnalyzer())};

    const auto text = app::testing::categoryCallText(
        tools, "vision_analyze_video",
        {{"video_path", video}, {"features", app::PlainList{"animals", "body_pose"}}, {"sample_interval", 1}});
    const auto answer = mcp::parseJSON(text);
    ASSERT_TRUE(answer.find("results")) << text;
    const auto& frames = *answer.find("results")->arrayValue();
    ASSERT_EQ(frames.size(), 2u) << text;
    for (const auto& frame : frames) {
        EXPECT_EQ(*frame.find("animals")->find("count"), mcp::Value(1)) << text;
        EXPECT_EQ(*frame.find("animals")->find("animals")->arrayValue()->front().find("labels")->arrayValue()->front().find(
                      "identifier"),
                  mcp::Value("Dog"));
        EXPECT_EQ(*frame.find("body_pose")->find("count"), mcp::Value(1)) << text;
        EXPECT_TRUE(frame.find("body_pose")->find("poses")->arrayValue()->front().find("points")->find("nose"));
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
