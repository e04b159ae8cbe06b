#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

// A second thread for an offline render's decoding: Post hands it a set of decks to decode,
// which it does with the job it was made with, and Wait returns once it has. One set at a time.
// The hand-over is a few tens of microseconds of work each block, so both sides spin a little
// before they sleep or yield: a sleeping thread takes longer to wake than the work lasts.
//
// Threads: Post, Wait and destruction on the rendering thread; the job on the worker's own.
class CDecodeWorker {
public:
    using Job = std::function<void(uint32_t deckMask)>;

    explicit CDecodeWorker(Job job);
    // Waits for a posted set, then stops the thread.
    ~CDecodeWorker();
    CDecodeWorker(const CDecodeWorker&) = delete;
    CDecodeWorker& operator=(const CDecodeWorker&) = delete;

    // Waits for the set posted before, then posts deckMask (0 posts nothing).
    void Post(uint32_t deckMask);
    void Wait() noexcept;

private:
    static constexpr uint32_t kStop = 1u << 31;

    void Hand(uint32_t value) noexcept;
    void Run();

    Job m_job;
    std::atomic<uint32_t> m_posted{0}; // the set waiting or being decoded, kStop; 0: idle
    std::atomic<bool> m_sleeping{false};
    std::thread m_thread;
};
