#pragma once

#include <atomic>

// Which vector width the decoders' inner loops use: eight float lanes (AVX) on processors that
// have them, else four (SSE2, every x86-64 processor). Both widths compute every sample by the
// same operations in the same order, so the output is identical; the choice is only speed.
class CVectorLanes {
public:
    // True when the eight-lane loops are in use.
    static bool Wide() { return s_wide.load(std::memory_order_relaxed); }
    // Chooses eight lanes (where the processor has them) or four; returns Wide(). For tests and
    // benchmarks that compare the two, while no decoder runs.
    static bool UseWide(bool wide);
    // Whether this processor runs the eight-lane loops.
    static bool ProcessorHasWide();

private:
    static std::atomic<bool> s_wide;
};

// The eight-lane functions are compiled for AVX whatever the build's baseline; only code that
// has checked Wide() calls them.
#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define QUANDEL_WIDE_LANES 1
#define QUANDEL_WIDE_TARGET __attribute__((target("avx")))
#endif
