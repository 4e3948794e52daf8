// Paths built from text with separator normalisation, collapsed with
// lexicallyNormalize() and tested with starts(with:), over 100,000 random
// paths, beside std::filesystem's lexically_normal on the same texts. A
// replaced operator new counts allocations: normalising may allocate nothing
// beyond the path's own storage.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "system/file_path.hpp"

namespace {

std::atomic<std::size_t> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

using lumenary::system::FilePath;

constexpr std::size_t pathCount = 100'000;

// Paths as people and programs write them: mostly plain names, some dots,
// now and then a doubled or trailing separator.
const std::vector<std::string>& pathTexts() {
    static const std::vector<std::string> texts = [] {
        static const std::vector<std::string> names{"usr", "local", "lib", "home", "user", "Documents",
                                                    "projects", "src", "main.cpp", "x86_64-linux-gnu",
                                                    ".config", "a.tar.gz", ".", "..", "bin", "share"};
        std::mt19937 engine(25);
        auto pick = [&engine](std::size_t bound) {
            return std::uniform_int_distribution<std::size_t>(0, bound - 1)(engine);
        };
        std::vector<std::string> result;
        result.reserve(pathCount);
        for (std::size_t index = 0; index < pathCount; ++index) {
            std::string text = pick(4) == 0 ? "" : "/";
            const std::size_t count = 2 + pick(7);
            for (std::size_t component = 0; component < count; ++component) {
                text.append(names[pick(names.size())]);
                text.append(pick(8) == 0 ? "//" : "/");
            }
            if (pick(3) != 0) text.pop_back();
            result.push_back(std::move(text));
        }
        return result;
    }();
    return texts;
}

void perPath(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * pathCount));
    // Seconds per path, shown with its SI prefix ("355n" is 355 ns).
    state.counters["time_per_path"] = benchmark::Counter(static_cast<double>(state.iterations() * pathCount),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void ConstructAndLexicallyNormalize(benchmark::State& state) {
    const auto& texts = pathTexts();
    std::size_t constructionAllocations = 0;
    std::size_t normalizationAllocations = 0;
    for (auto _ : state) {
        for (const auto& text : texts) {
            const std::size_t before = allocations.load(std::memory_order_relaxed);
            FilePath path(text);
            const std::size_t built = allocations.load(std::memory_order_relaxed);
            path.lexicallyNormalize();
            normalizationAllocations += allocations.load(std::memory_order_relaxed) - built;
            constructionAllocations += built - before;
            benchmark::DoNotOptimize(path);
        }
    }
    perPath(state);
    const double paths = static_cast<double>(state.iterations() * pathCount);
    state.counters["allocations_per_construction"] = static_cast<double>(constructionAllocations) / paths;
    state.counters["allocations_per_normalization"] = static_cast<double>(normalizationAllocations) / paths;
}
BENCHMARK(ConstructAndLexicallyNormalize)->Unit(benchmark::kMillisecond);

void ConstructWithSeparatorNormalization(benchmark::State& state) {
    const auto& texts = pathTexts();
    for (auto _ : state) {
        for (const auto& text : texts) {
            FilePath path(text);
            benchmark::DoNotOptimize(path);
        }
    }
    perPath(state);
}
BENCHMARK(ConstructWithSeparatorNormalization)->Unit(benchmark::kMillisecond);

void StartsWith(benchmark::State& state) {
    const auto& texts = pathTexts();
    std::vector<FilePath> paths(texts.begin(), texts.end());
    std::vector<FilePath> prefixes;
    prefixes.reserve(paths.size());
    for (std::size_t index = 0; index < paths.size(); ++index) {
        // Half are true prefixes, half another path's.
        FilePath prefix = paths[index % 2 == 0 ? index : (index * 7919) % paths.size()];
        prefix.removeLastComponent();
        prefixes.push_back(std::move(prefix));
    }
    std::size_t matches = 0;
    for (auto _ : state) {
        for (std::size_t index = 0; index < paths.size(); ++index) {
            matches += paths[index].starts(prefixes[index]) ? 1 : 0;
        }
        benchmark::DoNotOptimize(matches);
    }
    perPath(state);
}
BENCHMARK(StartsWith)->Unit(benchmark::kMillisecond);

void StdFilesystemLexicallyNormal(benchmark::State& state) {
    const auto& texts = pathTexts();
    for (auto _ : state) {
        for (const auto& text : texts) {
            std::filesystem::path path = std::filesystem::path(text).lexically_normal();
            benchmark::DoNotOptimize(path);
        }
    }
    perPath(state);
}
BENCHMARK(StdFilesystemLexicallyNormal)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
