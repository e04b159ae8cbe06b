#pragma once

#include "AnalysisCache.h"
#include "TrackAnalysis.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Analyses tracks one after another on its own thread, by default at the lowest priority the
// system has (SCHED_IDLE, nice 19), so that it takes only time nothing else wants: never the
// audio, loader or refill thread's. Results wait in an outbox until the thread that owns the lists
// takes them; the worker never touches a list. Tracks found in the cache are not read again;
// the cache file is written each time the queue runs empty.
class CAnalysisWorker {
public:
    struct Job {
        int32_t entryId = 0; // the list entry the result is for
        std::string path;
        bool again = false; // analyse even when the cache has it
    };
    struct Result {
        int32_t entryId = 0;
        std::string path;
        TrackAnalysis analysis;
    };
    struct Progress {
        int done = 0;  // of the current batch: jobs added since the queue last ran empty
        int total = 0; // 0 = idle
    };

    // Idle for a player, whose playback must never wait for it; Normal where the analysis is
    // what the user waits for (the renderer before its run) and in tests, which a loaded machine
    // would otherwise starve.
    enum class Priority { Idle, Normal };

    // cachePath empty: no cache. notify, when given, is called on the worker thread after each
    // result is put out (to wake the owning thread's event loop); it must not block.
    explicit CAnalysisWorker(std::string cachePath, Priority priority = Priority::Idle,
                             std::function<void()> notify = {});
    ~CAnalysisWorker(); // stops the track being read and joins
    CAnalysisWorker(const CAnalysisWorker&) = delete;
    CAnalysisWorker& operator=(const CAnalysisWorker&) = delete;

    // Owning thread.
    void Add(std::vector<Job> jobs);
    std::vector<Result> TakeResults();
    Progress GetProgress() const;
    // Waits until the queue is empty and the cache written; false on timeout.
    bool WaitIdle(std::chrono::milliseconds timeout);

private:
    void Run(Priority priority);

    std::string m_cachePath;
    std::function<void()> m_notify;
    CAnalysisCache m_cache; // worker thread only
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_queue;      // under m_mutex
    std::vector<Result> m_outbox; // under m_mutex
    int m_done = 0;               // under m_mutex
    int m_total = 0;              // under m_mutex
    bool m_busy = false;          // a job is being worked on; under m_mutex
    bool m_stopping = false;      // under m_mutex
    std::atomic<bool> m_cancel{false};
    std::thread m_thread; // last: starts after every member it uses
};
