#pragma once

// A run-time guard against blocking on the audio thread. The pacing thread marks itself on
// entry; code that may block or allocate calls AssertNotAudioThread(), which aborts with a
// message when the marked thread reaches it, and every CGuardedMutex checks the same on lock().
//
// The guard runs in builds without NDEBUG and wherever QUANDEL_AUDIO_GUARD is defined (the
// ThreadSanitizer build defines it, so that CI's sanitizer run of the engine tests exercises it);
// elsewhere it compiles to nothing.
#if !defined(NDEBUG) && !defined(QUANDEL_AUDIO_GUARD)
#define QUANDEL_AUDIO_GUARD 1
#endif

void MarkAudioThread(bool isAudioThread = true) noexcept;
bool IsAudioThread() noexcept;
void AssertNotAudioThread(const char* where) noexcept;
