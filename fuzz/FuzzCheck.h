#pragma once

#include <cstdio>
#include <cstdlib>

// A property of a harness that must hold for every input. A failure is a finding:
// it names the broken property on standard error and aborts, which libFuzzer and
// the replay test both report as a crash with this input.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);            \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
