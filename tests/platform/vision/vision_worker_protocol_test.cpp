#include "platform/vision/vision_worker_protocol.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace lumenary::platform::vision {
namespace {

template <typename Observation>
std::vector<Observation> roundTrip(const std::vector<Observation>& observations) {
    const auto decoded = decodeVisionAnswer<Observation>(
        encodeVisionAnswer(PlatformOutcome<std::vector<Observation>>(observations)));
    const auto* outcome = std::get_if<0>(&decoded);
    if (outcome == nullptr || !*outcome) {
        throw std::runtime_error("the answer did not come back as observations");
    }
    return outcome->value();
}

TEST(VisionWorkerProtocol, ARequestReadsBackAsItWasWritten) {
    VisionWorkerRequest text;
    text.analysis = VisionWorkerRequest::Analysis::text;
    text.imagePaths = {"/tmp/ünïcode \"quoted\".png"};
    text.textOptions = {TextRecognitionLevel::fast, {"en-US", "zh-Hans"}};
    VisionWorkerRequest saliency;
    saliency.analysis = VisionWorkerRequest::Analysis::saliency;
    saliency.imagePaths = {"a.png"};
    saliency.saliencyKind = SaliencyKind::objectness;
    VisionWorkerRequest prints;
    prints.analysis = VisionWorkerRequest::Analysis::featurePrints;
    prints.imagePaths = {"first.png", "second.png"};
    VisionWorkerRequest faces;
    faces.analysis = VisionWorkerRequest::Analysis::faceFeatures;
    faces.imagePaths = {"group.jpg"};
    VisionWorkerRequest animals;
    animals.analysis = VisionWorkerRequest::Analysis::animals;
    animals.imagePaths = {"cat.png"};
    VisionWorkerRequest bodies = animals;
    bodies.analysis = VisionWorkerRequest::Analysis::bodyPose;
    VisionWorkerRequest hands = animals;
    hands.analysis = VisionWorkerRequest::Analysis::handPose;
    for (const auto& request : {text, saliency, prints, faces, animals, bodies, hands}) {
        const auto decoded = decodeVisionRequest(encodeVisionRequest(request));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->analysis, request.analysis);
        EXPECT_EQ(decoded->imagePaths, request.imagePaths);
        EXPECT_EQ(decoded->textOptions.level, request.textOptions.level);
        EXPECT_EQ(decoded->textOptions.languages, request.textOptions.languages);
        EXPECT_EQ(decoded->saliencyKind, request.saliencyKind);
    }
}

TEST(VisionWorkerProtocol, ObservationsReadBackExactly) {
    // Single-precision confidences must come back as the same float.
    const float confidence = 0.1f;
    const std::vector<TextObservation> text = {
        {TextCandidate{"Line one", confidence}, {0.1, 0.2, 0.3, 0.4}},
        {std::nullopt, {0, 0, 1, 1}},
    };
    const auto textBack = roundTrip(text);
    ASSERT_EQ(textBack.size(), 2u);
    EXPECT_EQ(textBack[0].topCandidate->text, "Line one");
    EXPECT_EQ(textBack[0].topCandidate->confidence, confidence);
    EXPECT_EQ(textBack[0].boundingBox, text[0].boundingBox);
    EXPECT_FALSE(textBack[1].topCandidate);

    const std::vector<BarcodeObservation> barcodes = {{"QRCode", "payload", {0.5, 0.25, 0.125, 1}},
                                                      {"Aztec", std::nullopt, {0, 0, 0, 0}}};
    const auto barcodesBack = roundTrip(barcodes);
    ASSERT_EQ(barcodesBack.size(), 2u);
    EXPECT_EQ(barcodesBack[0].payload, "payload");
    EXPECT_EQ(barcodesBack[1].symbology, "Aztec");
    EXPECT_FALSE(barcodesBack[1].payload);

    const std::vector<SaliencyObservation> saliency = {{std::vector<SalientObject>{{0.75f, {0.1, 0.1, 0.5, 0.5}}}},
                                                       {std::nullopt}};
    const auto saliencyBack = roundTrip(saliency);
    ASSERT_EQ(saliencyBack.size(), 2u);
    ASSERT_TRUE(saliencyBack[0].salientObjects);
    EXPECT_EQ(saliencyBack[0].salientObjects->front().confidence, 0.75f);
    EXPECT_FALSE(saliencyBack[1].salientObjects);

    const std::vector<AnimalObservation> animals = {{{{"Cat", 0.7F}, {"Dog", confidence}}, {0.1, 0.2, 0.3, 0.4}},
                                                    {{}, {0, 0, 1, 1}}};
    const auto animalsBack = roundTrip(animals);
    ASSERT_EQ(animalsBack.size(), 2u);
    ASSERT_EQ(animalsBack[0].labels.size(), 2u);
    EXPECT_EQ(animalsBack[0].labels[0].identifier, "Cat");
    EXPECT_EQ(animalsBack[0].labels[1].confidence, confidence);
    EXPECT_EQ(animalsBack[0].boundingBox, animals[0].boundingBox);
    EXPECT_TRUE(animalsBack[1].labels.empty());

    // A joint without a location keeps none; the joints' order is kept.
    const std::vector<PoseObservation> poses = {
        {0.5F, {{"nose", NormalizedPoint{0.25, 0.75}, confidence}, {"neck", std::nullopt, 0.0F}}},
        {confidence, {}}};
    const auto posesBack = roundTrip(poses);
    ASSERT_EQ(posesBack.size(), 2u);
    EXPECT_EQ(posesBack[0].confidence, 0.5F);
    ASSERT_EQ(posesBack[0].joints.size(), 2u);
    EXPECT_EQ(posesBack[0].joints[0].key, "nose");
    EXPECT_EQ(posesBack[0].joints[0].location, (NormalizedPoint{0.25, 0.75}));
    EXPECT_EQ(posesBack[0].joints[0].confidence, confidence);
    EXPECT_EQ(posesBack[0].joints[1].key, "neck");
    EXPECT_FALSE(posesBack[0].joints[1].location);
    EXPECT_EQ(posesBack[1].confidence, confidence);
    EXPECT_TRUE(posesBack[1].joints.empty());

    // Every bit, the top one included.
    const std::vector<FeaturePrint> prints = {{0}, {0x8000000000000001u}, {std::numeric_limits<std::uint64_t>::max()}};
    EXPECT_EQ(roundTrip(prints), prints);
}

TEST(VisionWorkerProtocol, FacesAndTheirPrintsReadBackExactlyAndANonFinitePrintIsAnError) {
    const std::vector<FaceObservation> faces = {
        {{0.1, 0.2, 0.3, 0.4}, -0.123456789012345, 0.5, FaceLandmarksSummary{6, 6, 9, 12}},
        {{0, 0, 1, 1}, std::nullopt, std::nullopt, FaceLandmarksSummary{}},
        {{0, 0, 1, 1}, 0.0, std::nullopt, std::nullopt},
    };
    const auto facesBack = roundTrip(faces);
    ASSERT_EQ(facesBack.size(), 3u);
    for (std::size_t index = 0; index < faces.size(); ++index) {
        EXPECT_EQ(facesBack[index].boundingBox, faces[index].boundingBox);
        EXPECT_EQ(facesBack[index].roll, faces[index].roll);
        EXPECT_EQ(facesBack[index].yaw, faces[index].yaw);
        ASSERT_EQ(facesBack[index].landmarks.has_value(), faces[index].landmarks.has_value());
    }
    EXPECT_EQ(facesBack[0].landmarks->leftEyeCount, 6);
    EXPECT_EQ(facesBack[0].landmarks->mouthPointCount, 12);
    EXPECT_FALSE(facesBack[1].landmarks->nosePointCount);

    const FaceFeaturePrint print{{0.0F, 1.0F / 3.0F, std::numeric_limits<float>::denorm_min(), 1e30F}};
    const auto featuresBack = roundTrip<FaceFeature>({{print, {0.5, 0.25, 0.125, 0.0625}}, {{}, {0, 0, 1, 1}}});
    ASSERT_EQ(featuresBack.size(), 2u);
    EXPECT_EQ(featuresBack[0].print.values, print.values);
    EXPECT_EQ(featuresBack[0].boundingBox, (NormalizedRect{0.5, 0.25, 0.125, 0.0625}));
    EXPECT_TRUE(featuresBack[1].print.values.empty());
    EXPECT_EQ(roundTrip<FaceFeaturePrint>({print}).front().values, print.values);

    const auto notFinite = decodeVisionAnswer<FaceFeaturePrint>(encodeVisionAnswer(PlatformOutcome<std::vector<FaceFeaturePrint>>(
        std::vector{FaceFeaturePrint{{0.5F, std::numeric_limits<float>::quiet_NaN()}}})));
    ASSERT_FALSE(std::get<0>(notFinite));
    EXPECT_EQ(std::get<0>(notFinite).error().code, 500);
}

TEST(VisionWorkerProtocol, AnErrorAnswerCarriesItsCodeAndDescription) {
    const auto decoded = decodeVisionAnswer<BarcodeObservation>(
        encodeVisionAnswer(PlatformOutcome<std::vector<BarcodeObservation>>(
            visionServiceError(404, "Image file not found at path: /no/such.png"))));
    const auto& outcome = std::get<0>(decoded);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().domain, "VisionService");
    EXPECT_EQ(outcome.error().code, 404);
    EXPECT_EQ(outcome.error().description, "Image file not found at path: /no/such.png");
}

TEST(VisionWorkerProtocol, ANonFiniteNumberBecomesAnErrorAnswer) {
    const std::vector<SaliencyObservation> saliency = {
        {std::vector<SalientObject>{{std::numeric_limits<float>::quiet_NaN(), {0, 0, 1, 1}}}}};
    const auto decoded = decodeVisionAnswer<SaliencyObservation>(
        encodeVisionAnswer(PlatformOutcome<std::vector<SaliencyObservation>>(saliency)));
    const auto& outcome = std::get<0>(decoded);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().code, 500);
}

TEST(VisionWorkerProtocol, TextThatIsNotUTF8ArrivesRepairedRatherThanFailingTheAnswer) {
    const auto text = roundTrip<TextObservation>({{TextCandidate{"ok \xff bad", 0.5F}, {0, 0, 1, 1}}});
    ASSERT_EQ(text.size(), 1U);
    EXPECT_EQ(text[0].topCandidate->text, "ok \xEF\xBF\xBD bad");
    const auto codes = roundTrip<BarcodeObservation>({{"QRCode", std::string("\xed\xa0\x80"), {0, 0, 1, 1}}});
    ASSERT_EQ(codes.size(), 1U);
    EXPECT_EQ(codes[0].payload, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(VisionWorkerProtocol, AnswersOfTheWrongShapeAreUnreadable) {
    for (const std::string payload : {"", "{", "[]", R"({"observations":{}})", R"({"error":{"code":"x"}})",
                                      R"({"observations":[{"symbology":"QRCode"}]})",
                                      R"({"observations":[{"symbology":"QRCode","payload":3,"box":{"x":0,"y":0,"width":1,"height":1}}]})"}) {
        SCOPED_TRACE(payload);
        EXPECT_TRUE(std::holds_alternative<UnreadableVisionAnswer>(decodeVisionAnswer<BarcodeObservation>(payload)));
    }
    EXPECT_TRUE(std::holds_alternative<UnreadableVisionAnswer>(
        decodeVisionAnswer<FeaturePrint>(R"({"observations":["12345678901234567"]})")));
}

TEST(VisionWorkerProtocol, AFrameLengthIsDigitsWithinTheLimit) {
    struct Case {
        std::string line;
        std::optional<std::size_t> length;
    };
    const std::vector<Case> cases = {
        {"0", 0},
        {"42", 42},
        {std::to_string(maximumVisionFrameLength), maximumVisionFrameLength},
        {std::to_string(maximumVisionFrameLength + 1), std::nullopt},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"12a", std::nullopt},
        {" 12", std::nullopt},
        {"99999999999999999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(visionFrameLength(c.line), c.length);
    }
    EXPECT_EQ(visionFrame("abc"), "3\nabc");
}

}  // namespace
}  // namespace lumenary::platform::vision
