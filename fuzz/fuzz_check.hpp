#pragma once

#include <cstdio>
#include <cstdlib>

// A property every input must keep. A broken one aborts, which the fuzzer
// reports as a finding with its reproducer and the replay as a failed test.
#define LUMENARY_FUZZ_CHECK(condition)                                                                  \
    do {                                                                                                \
        if (!(condition)) {                                                                             \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);       \
            std::abort();                                                                               \
        }                                                                                               \
    } while (false)
