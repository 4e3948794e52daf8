// The record categories' tool calls over data of a realistic size: one
// benchmark file per category beside this one.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
