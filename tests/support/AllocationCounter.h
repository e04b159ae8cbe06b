#pragma once

// Counts the heap allocations the calling thread makes between Start and Stop. The source file
// replaces the global operator new, so it is compiled into the test executables that count, not
// into the shared support library.
class CAllocationCounter {
public:
    static void Start() noexcept;
    // Allocations since Start on this thread.
    static long Stop() noexcept;
};
