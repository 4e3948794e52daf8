#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/vision/worker_vision_analyzer.hpp"
#include "support/child_process.hpp"
#include "support/process_observation.hpp"

namespace lumenary::platform::vision {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::shared_ptr<VisionAnalyzer> fakeWorkerAnalyzer(std::chrono::milliseconds timeLimit = 10s) {
    return makeWorkerVisionAnalyzer({lumenary::testing::siblingProgram("fake_vision_worker"), timeLimit});
}

// The payload the fake worker answers a good request with, or the error.
std::string answerTo(VisionAnalyzer& analyzer, const std::string& path) {
    const auto outcome = analyzer.detectBarcodes(path);
    if (!outcome) {
        return "error " + std::to_string(outcome.error().code) + " " + outcome.error().description;
    }
    if (outcome.value().size() != 1 || !outcome.value().front().payload) {
        return "unexpected answer";
    }
    return *outcome.value().front().payload;
}

TEST(WorkerVisionAnalyzer, KeepsOneWorkerForManyRequests) {
    const auto analyzer = fakeWorkerAnalyzer();
    EXPECT_EQ(answerTo(*analyzer, "a.png"), "request 1 of this process");
    EXPECT_EQ(answerTo(*analyzer, "b.png"), "request 2 of this process");
    EXPECT_EQ(answerTo(*analyzer, "c.png"), "request 3 of this process");
}

TEST(WorkerVisionAnalyzer, StartsTheWorkerWithOneOpenMPThread) {
    const auto outcome = fakeWorkerAnalyzer()->detectBarcodes("a.png");
    ASSERT_TRUE(outcome) << outcome.error().description;
    ASSERT_EQ(outcome.value().size(), 1u);
    EXPECT_EQ(outcome.value().front().symbology, "1");
}

TEST(WorkerVisionAnalyzer, AFailedConversationFailsThatCallOnceAndTheNextGetsAFreshWorker) {
    struct Case {
        std::string path;
        std::string description;
    };
    const std::vector<Case> cases = {
        {"abort", "The vision worker ended during the analysis: it was killed by signal 6 (SIGABRT)"},
        {"exit", "The vision worker ended during the analysis: it exited with status 3"},
        {"bad-length", "The vision worker sent an answer that could not be read (a bad length line); the worker was "
                       "stopped"},
        {"bad-json", "The vision worker sent an answer that could not be read ("},
        {"wrong-shape", "The vision worker sent an answer that could not be read (an observation of the wrong "
                        "shape); the worker was stopped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto analyzer = fakeWorkerAnalyzer();
        EXPECT_EQ(answerTo(*analyzer, "first.png"), "request 1 of this process");
        const auto failed = analyzer->detectBarcodes(c.path);
        ASSERT_FALSE(failed);
        EXPECT_EQ(failed.error().domain, "VisionService");
        EXPECT_EQ(failed.error().code, 500);
        EXPECT_TRUE(failed.error().description.starts_with(c.description)) << failed.error().description;
        EXPECT_EQ(answerTo(*analyzer, "after.png"), "request 1 of this process");
    }
}

TEST(WorkerVisionAnalyzer, AWorkerThatEndedBetweenCallsIsReplacedWithoutAnError) {
    const auto analyzer = fakeWorkerAnalyzer();
    const auto answered = analyzer->detectBarcodes("then-exit");
    ASSERT_TRUE(answered) << answered.error().description;
    const pid_t pid = std::stoi(answered.value().front().symbology);
    ASSERT_TRUE(lumenary::testing::eventually([&] { return !lumenary::testing::processIsAlive(pid); }));
    EXPECT_EQ(answerTo(*analyzer, "next.png"), "request 1 of this process");
}

TEST(WorkerVisionAnalyzer, AWorkerThatEndsWhileIdleIsReapedAtOnce) {
    struct Case {
        const char* path;
        int signal;  // 0: it ends by itself
    };
    for (const auto& c : {Case{"then-exit", 0}, Case{"pid", SIGKILL}}) {
        SCOPED_TRACE(c.path);
        const auto analyzer = fakeWorkerAnalyzer();
        const auto answered = analyzer->detectBarcodes(c.path);
        ASSERT_TRUE(answered) << answered.error().description;
        const pid_t pid = std::stoi(answered.value().front().symbology);
        if (c.signal != 0) {
            ASSERT_EQ(::kill(pid, c.signal), 0);
        }
        EXPECT_TRUE(lumenary::testing::eventually([&] { return lumenary::testing::processIsGone(pid); }));
        EXPECT_EQ(answerTo(*analyzer, "next.png"), "request 1 of this process");
    }
}

TEST(WorkerVisionAnalyzer, AWorkerOverItsTimeLimitIsStoppedAndTheCallFails) {
    const auto analyzer = fakeWorkerAnalyzer(300ms);
    ASSERT_EQ(answerTo(*analyzer, "warm.png"), "request 1 of this process");
    const auto started = Clock::now();
    const auto failed = analyzer->detectBarcodes("hang");
    EXPECT_LT(Clock::now() - started, 5s);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().code, 500);
    EXPECT_EQ(failed.error().description,
              "The vision worker did not finish the analysis within 300 ms and was stopped");
    EXPECT_EQ(answerTo(*analyzer, "after.png"), "request 1 of this process");
}

TEST(WorkerVisionAnalyzer, AWorkerThatCannotStartFailsEveryCallThatNeedsIt) {
    const auto analyzer = makeWorkerVisionAnalyzer({"/nonexistent/lumenary-vision", 10s});
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto failed = analyzer->featurePrints({"a.png", "b.png"});
        ASSERT_FALSE(failed);
        EXPECT_EQ(failed.error().code, 500);
        EXPECT_TRUE(failed.error().description.starts_with("The vision worker could not be started: "))
            << failed.error().description;
    }
}

TEST(WorkerVisionAnalyzer, AnimalAndPoseAnalysesRunInTheWorker) {
    // A worker that cannot start shows that one was asked.
    const auto analyzer = makeWorkerVisionAnalyzer({"/nonexistent/lumenary-vision", 10s});
    const auto animals = analyzer->recognizeAnimals("/no/such.png");
    const auto body = analyzer->detectBodyPose("/no/such.png");
    const auto hand = analyzer->detectHandPose("/no/such.png");
    for (const auto* error : {&animals.error(), &body.error(), &hand.error()}) {
        EXPECT_EQ(error->domain, "VisionService");
        EXPECT_EQ(error->code, 500);
        EXPECT_TRUE(error->description.starts_with("The vision worker could not be started: ")) << error->description;
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
