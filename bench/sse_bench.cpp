// The event-stream parser fed in 1-byte, 64-byte and 16 KiB pieces, on
// streams of small JSON events and of 1 MiB events, beside a naive line
// splitter (find the LF, keep "data: " lines) on the same corpora.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "eventsource/parser.hpp"

namespace {

using lumenary::eventsource::Parser;

// About 4 MiB of events of some 200 bytes, each a JSON-RPC message.
std::string smallEvents() {
    std::string corpus;
    for (int index = 0; corpus.size() < 4 * 1024 * 1024; ++index) {
        corpus += "id: " + std::to_string(index) + "\nevent: message\n";
        corpus += R"(data: {"jsonrpc":"2.0","method":"notifications/progress","params":{"progressToken":")" +
                  std::to_string(index) + R"(","progress":)" + std::to_string(index % 100) +
                  R"(,"total":100,"message":"Indexing the user's notes, folder 3 of 7, file 12"}})" + "\n\n";
    }
    return corpus;
}

// Eight events whose data is one line of 1 MiB.
std::string largeEvents() {
    std::string corpus;
    const std::string data = R"({"jsonrpc":"2.0","id":1,"result":{"content":[{"type":"text","text":")" +
                             std::string(1024 * 1024 - 80, 'x') + R"("}]}})";
    for (int index = 0; index < 8; ++index) corpus += "data: " + data + "\n\n";
    return corpus;
}

const std::string& corpus(std::int64_t which) {
    static const std::string corpora[] = {smallEvents(), largeEvents()};
    return corpora[which];
}

void label(benchmark::State& state) {
    static const char* names[] = {"small_events", "1MiB_events"};
    state.SetLabel(std::string(names[state.range(0)]) + "/" + std::to_string(state.range(1)) + "B_pieces");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus(state.range(0)).size()));
}

void ParserFeed(benchmark::State& state) {
    const std::string& input = corpus(state.range(0));
    const auto piece = static_cast<std::size_t>(state.range(1));
    for (auto _ : state) {
        Parser parser;
        std::size_t events = 0;
        std::size_t bytes = 0;
        for (std::size_t offset = 0; offset < input.size(); offset += piece) {
            parser.feed(std::string_view(input).substr(offset, piece));
            while (auto event = parser.nextEvent()) {
                ++events;
                bytes += event->data.size();
            }
        }
        benchmark::DoNotOptimize(events);
        benchmark::DoNotOptimize(bytes);
    }
    label(state);
}

// What a reader does without an event-stream parser: split at LF, keep the
// data lines, an empty line ends an event.
class NaiveSplitter {
public:
    template <typename OnEvent>
    void feed(std::string_view bytes, OnEvent&& onEvent) {
        // Searching on from where the last piece's search stopped keeps it
        // linear when a line spans many pieces.
        std::size_t searchFrom = pending_.size();
        pending_.append(bytes);
        std::size_t start = 0;
        for (std::size_t end; (end = pending_.find('\n', std::max(start, searchFrom))) != std::string::npos;
             start = end + 1) {
            const std::string_view line(pending_.data() + start, end - start);
            if (line.empty()) {
                onEvent(data_);
                data_.clear();
            } else if (line.starts_with("data: ")) {
                if (!data_.empty()) data_ += '\n';
                data_.append(line.substr(6));
            }
        }
        pending_.erase(0, start);
    }

private:
    std::string pending_;
    std::string data_;
};

void NaiveLineSplitter(benchmark::State& state) {
    const std::string& input = corpus(state.range(0));
    const auto piece = static_cast<std::size_t>(state.range(1));
    for (auto _ : state) {
        NaiveSplitter splitter;
        std::size_t events = 0;
        std::size_t bytes = 0;
        for (std::size_t offset = 0; offset < input.size(); offset += piece) {
            splitter.feed(std::string_view(input).substr(offset, piece), [&](const std::string& data) {
                ++events;
                bytes += data.size();
            });
        }
        benchmark::DoNotOptimize(events);
        benchmark::DoNotOptimize(bytes);
    }
    label(state);
}

void pieceSizes(benchmark::internal::Benchmark* benchmark) {
    for (std::int64_t which : {0, 1}) {
        for (std::int64_t piece : {1, 64, 16 * 1024}) benchmark->Args({which, piece});
    }
}

BENCHMARK(ParserFeed)->Apply(pieceSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(NaiveLineSplitter)->Apply(pieceSizes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
