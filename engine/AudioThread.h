#pragma once

// A run-time guard against blocking on the audio thread. The pacing thread marks itself on
// entry; code that may block or allocate calls AssertNotAudioThread(), which aborts with a
// message in debug builds when the marked thread reaches it.
void MarkAudioThread(bool isAudioThread = true) noexcept;
bool IsAudioThread() noexcept;
void AssertNotAudioThread(const char* where) noexcept;
