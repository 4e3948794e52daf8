#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/defaults/memory_defaults_store.hpp"

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

// The fake workers this process started that still run.
std::set<pid_t> runningFakeWorkers() {
    std::set<pid_t> workers;
    const auto self = std::to_string(::getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const auto name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream status(entry.path() / "status");
        std::string line;
        bool isFake = false;
        bool isOurs = false;
        bool isRunning = true;
        while (std::getline(status, line)) {
            isFake |= line == "Name:\tfake_vision_wor";
            isOurs |= line == "PPid:\t" + self;
            if (line.starts_with("State:\tZ")) isRunning = false;
        }
        if (isFake && isOurs && isRunning) workers.insert(std::stoi(name));
    }
    return workers;
}

TEST(WorkerVisionAnalyzer, IdleWorkersLeaveAfterTheirLimitAndTheNextCallStartsOneAgain) {
    struct Case {
        const char* name;
        WorkerIdleLimits limits;
        bool firstStays;
    };
    for (const auto& c : {Case{"the helpers leave", {1h, 50ms}, true}, Case{"all leave", {50ms, 50ms}, false}}) {
        SCOPED_TRACE(c.name);
        const auto analyzer =
            makeWorkerVisionAnalyzer({lumenary::testing::siblingProgram("fake_vision_worker"), 10s, 3, c.limits});
        const std::vector<std::string> folder(12, "face.png");
        std::size_t analysed = 0;
        analyzer->allFaceFeaturesOfEach(folder, [&](std::size_t, PlatformOutcome<std::vector<FaceFeature>> faces) {
            analysed += faces ? 1 : 0;
        });
        ASSERT_EQ(analysed, folder.size());
        const auto answered = analyzer->detectBarcodes("pid");
        ASSERT_TRUE(answered) << answered.error().description;
        const pid_t first = std::stoi(answered.value().front().symbology);
        const std::set<pid_t> remaining = c.firstStays ? std::set<pid_t>{first} : std::set<pid_t>{};
        EXPECT_TRUE(lumenary::testing::eventually([&] { return runningFakeWorkers() == remaining; }));
        if (!c.firstStays) {
            EXPECT_EQ(answerTo(*analyzer, "next.png"), "request 1 of this process");
        }
    }
}

TEST(WorkerVisionAnalyzer, IdleLimitsComeFromTheDefaultsInSeconds) {
    struct Case {
        mcp::Value::Object stored;
        WorkerIdleLimits expected;
    };
    const WorkerIdleLimits standard;
    const std::vector<Case> cases = {
        {{}, standard},
        {{{"visionWorkerIdleSeconds", mcp::Value(std::int64_t{2})}, {"visionExtraWorkerIdleSeconds", mcp::Value(0.25)}},
         {2s, 250ms}},
        {{{"visionWorkerIdleSeconds", mcp::Value(std::int64_t{0})}, {"visionExtraWorkerIdleSeconds", mcp::Value("5")}},
         standard},
        {{{"visionWorkerIdleSeconds", mcp::Value(-3.0)}}, standard},
    };
    for (const auto& c : cases) {
        const auto limits = configuredWorkerIdleLimits(MemoryDefaultsStore(c.stored));
        EXPECT_EQ(limits.first, c.expected.first);
        EXPECT_EQ(limits.others, c.expected.others);
    }
}

TEST(WorkerVisionAnalyzer, AWorkerOverItsTimeLimitIsStoppedAndTheCallFails) {
    // The limit holds a fresh worker's start too, which took past 300 ms
    // under the sanitizers on a busy machine.
    const auto analyzer = fakeWorkerAnalyzer(2s);
    ASSERT_EQ(answerTo(*analyzer, "warm.png"), "request 1 of this process");
    const auto started = Clock::now();
    const auto failed = analyzer->detectBarcodes("hang");
    EXPECT_LT(Clock::now() - started, 5s);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().code, 500);
    EXPECT_EQ(failed.error().description,
              "The vision worker did not finish the analysis within 2 s and was stopped");
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
