#pragma once

#include "AnalysisWorker.h"

#include <memory>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

class CPlaylist;

// Keeps the player's lists analysed: the tracks a user adds are queued on a worker thread at the
// lowest priority, and what it finds goes into the entries on the thread that owns the lists. A
// tempo the list or a tag gave stays, unless the user asked for the track to be analysed again.
//
// Threads: every member on the thread that owns the lists.
class CListAnalysis {
public:
    // cachePath empty: no cache. The worker thread starts with the first track queued.
    explicit CListAnalysis(std::string cachePath,
                           CAnalysisWorker::Priority priority = CAnalysisWorker::Priority::Idle);
    ~CListAnalysis();
    CListAnalysis(const CListAnalysis&) = delete;
    CListAnalysis& operator=(const CListAnalysis&) = delete;

    // Queues count entries of list from first on: those not analysed yet, or every one when again.
    // Audio-CD tracks are left out. Returns how many were queued.
    int Queue(const CPlaylist& list, int first, int count, bool again);
    // Queues the selected entries, every one analysed again.
    int QueueSelected(const CPlaylist& list);
    // Puts the finished analyses into the entries with their ids, in whichever of lists holds
    // them; returns how many entries took one.
    int Apply(std::span<CPlaylist* const> lists);
    // "analysing 3/120" while tracks wait or are read; empty when the worker is idle.
    std::string ProgressText() const;
    // True when an entry has no analysis yet.
    static bool NeedsAnalysis(const CPlaylist& list, int index);

private:
    std::string m_cachePath;
    CAnalysisWorker::Priority m_priority;
    std::unordered_set<int32_t> m_again; // entries whose tempo the result replaces
    std::unique_ptr<CAnalysisWorker> m_worker;
};
