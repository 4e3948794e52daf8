// Load driver: calls per second of LocalToolService::callTool on a category
// that answers at once, first with the in-memory defaults and then with the
// file-backed defaults, in the same run; prints the ratio. Every call writes
// the count and the records (three times), so this measures what persisting
// costs the caller. The file store must still have every change on disk
// after its flush, which the driver checks.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>

#include "app/tools/local_tool_service.hpp"
#include "platform/file_defaults_store.hpp"
#include "platform/memory_defaults_store.hpp"

using namespace lumenary;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int callsPerRun = 50'000;
constexpr int runs = 5;

class InstantCategory final : public app::ToolCategory {
public:
    std::vector<app::MCPTool> tools() const override {
        return {{.name = "instant", .description = "answers at once", .displayDescription = "", .inputSchema = {}}};
    }
    asio::awaitable<app::ToolOutcome<std::string>> handle(std::string, app::PlainDictionary) override {
        co_return std::string("done");
    }
};

asio::awaitable<void> callMany(std::shared_ptr<app::LocalToolService> service, int count) {
    for (int i = 0; i < count; ++i) {
        app::PlainDictionary arguments{{"n", i}};
        co_await service->callTool("instant", std::move(arguments));
    }
}

// Median calls per second over several runs.
double callsPerSecond(platform::DefaultsStore& defaults) {
    std::vector<double> rates;
    for (int run = 0; run < runs; ++run) {
        asio::io_context io;
        app::ToolCategories categories;
        categories[0] = std::make_shared<InstantCategory>();
        auto service = std::make_shared<app::LocalToolService>(io.get_executor(), defaults, categories);
        service->setCalendarEnabled(true);
        asio::co_spawn(io, callMany(service, callsPerRun), asio::detached);
        const auto start = Clock::now();
        io.run();
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        rates.push_back(callsPerRun / elapsed.count());
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

}  // namespace

int main() {
    platform::MemoryDefaultsStore memory;
    const double inMemory = callsPerSecond(memory);

    const auto folder = std::filesystem::temp_directory_path() / ("tool-service-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    double fileBacked = 0;
    std::int64_t expectedCount = 0;
    {
        platform::FileDefaultsStore file(folder);
        fileBacked = callsPerSecond(file);
        expectedCount = file.integer("toolCallCount");
        const auto flushStart = Clock::now();
        if (!file.flush()) {
            std::fprintf(stderr, "the file store could not write %s\n", file.filePath().c_str());
            return 1;
        }
        std::printf("final flush: %.2f ms\n",
                    std::chrono::duration<double, std::milli>(Clock::now() - flushStart).count());
    }
    platform::FileDefaultsStore reread(folder);
    const bool durable = reread.integer("toolCallCount") == expectedCount && expectedCount == runs * callsPerRun;
    std::filesystem::remove_all(folder);

    std::printf("callTool, in-memory defaults: %10.0f calls/s\n", inMemory);
    std::printf("callTool, file defaults:      %10.0f calls/s\n", fileBacked);
    std::printf("time per call, file/in-memory: %.2f (target under 3)\n", inMemory / fileBacked);
    std::printf("every change on disk after the flush: %s\n", durable ? "yes" : "NO");
    return durable ? 0 : 1;
}
