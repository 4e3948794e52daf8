// Round trips of typical MCP texts through Value, beside nlohmann::json's own
// DOM parse + dump of the same texts for reference.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <random>
#include <string>

#include "mcp/core/base64.hpp"
#include "mcp/core/json.hpp"

namespace {

using lumenary::mcp::parseJSON;
using lumenary::mcp::writeJSON;

std::string toolsCallRequest() {
    return R"({"jsonrpc":"2.0","id":42,"method":"tools/call","params":{"name":"calendar_create_event",)"
           R"("arguments":{"title":"Team sync","startDate":"2026-12-08T10:00:00+01:00",)"
           R"("endDate":"2026-12-08T10:30:00+01:00","calendarName":"Work","location":"Room 4/B",)"
           R"("notes":"Agenda: roadmap, hiring, \"open\" questions","alarms":[15,5],"isAllDay":false}}})";
}

std::string toolsListResult() {
    std::string text = R"({"jsonrpc":"2.0","id":1,"result":{"tools":[)";
    for (int index = 0; index < 100; ++index) {
        if (index > 0) text += ',';
        const auto number = std::to_string(index);
        text += R"({"name":"category_tool_)" + number + R"(","description":"Does thing number )" + number +
                R"( with the user's data and returns a short text summary of what happened.",)"
                R"("inputSchema":{"type":"object","properties":{"query":{"type":"string",)"
                R"("description":"What to look for"},"limit":{"type":"integer","description":"At most this many",)"
                R"("default":10},"includeDetails":{"type":"boolean"}},"required":["query"]},)"
                R"("annotations":{"readOnlyHint":true,"openWorldHint":false}})";
    }
    text += "]}}";
    return text;
}

std::string imageContentItem() {
    std::string bytes(1024 * 1024, '\0');
    std::mt19937 generator(7);
    for (auto& byte : bytes) byte = static_cast<char>(generator());
    return R"({"type":"image","mimeType":"image/png","data":")" + lumenary::mcp::base64Encode(bytes) + "\"}";
}

const std::string& document(int which) {
    static const std::string documents[] = {toolsCallRequest(), toolsListResult(), imageContentItem()};
    return documents[which];
}

void setLabel(benchmark::State& state) {
    static const char* names[] = {"tools_call_request", "tools_list_100", "image_1MB"};
    state.SetLabel(names[state.range(0)]);
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * document(static_cast<int>(state.range(0))).size()));
}

void ValueRoundTrip(benchmark::State& state) {
    const auto& text = document(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto written = writeJSON(parseJSON(text));
        benchmark::DoNotOptimize(written);
    }
    setLabel(state);
}

void NlohmannRoundTrip(benchmark::State& state) {
    const auto& text = document(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto written = nlohmann::json::parse(text).dump();
        benchmark::DoNotOptimize(written);
    }
    setLabel(state);
}

void ValueRead(benchmark::State& state) {
    const auto& text = document(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto value = parseJSON(text);
        benchmark::DoNotOptimize(value);
    }
    setLabel(state);
}

void ValueWrite(benchmark::State& state) {
    const auto value = parseJSON(document(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        auto written = writeJSON(value);
        benchmark::DoNotOptimize(written);
    }
    setLabel(state);
}

}  // namespace

BENCHMARK(ValueRoundTrip)->DenseRange(0, 2);
BENCHMARK(NlohmannRoundTrip)->DenseRange(0, 2);
BENCHMARK(ValueRead)->DenseRange(0, 2);
BENCHMARK(ValueWrite)->DenseRange(0, 2);

BENCHMARK_MAIN();
