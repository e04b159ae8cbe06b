#pragma once

#include "ListLoadReport.h"
#include "TrackEntry.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class CPlaylist;

// Gathers the tracks of dropped files and folders (or of one folder chosen to be added) on a
// worker thread, so that thousands of files or a deep folder tree never hold up the window.
//
// The worker builds entries of its own and touches no list: the user thread adds them to a
// list afterwards with AppendTo, which gives them fresh ids. Each item is taken in order: a
// folder by its names in the order a folder import uses (its files, then its sub-folders when
// they are included), a track file as it is. Links are followed, to files and to folders; a
// folder reached a second time within one item is not entered again, so a link back to a
// parent cannot make the scan endless. At 999 entries the worker stops collecting and only
// counts the track files beyond.
//
// Reported: items and folder entries that vanished before the scan reached them, track-named
// files that are no regular file, folders that cannot be read, links back into a folder taken
// already, and items named directly that are no track file type (lists included: the window
// opens those itself). Other files inside a folder (covers, notes) are passed over silently.
//
// Threads: Start, TakeResult and AppendTo on the user thread; Cancel, Done and the progress
// counters from any thread. The id counter is never touched by the worker.
class CListImport {
public:
    struct Result {
        std::vector<TrackEntry> entries; // in order, at most 999, each with id 0 until appended
        ListLoadReport report;
        bool cancelled = false; // stopped by Cancel before every item was taken
    };

    CListImport() = default;
    // Cancels a scan still running and waits for its worker.
    ~CListImport();
    CListImport(const CListImport&) = delete;
    CListImport& operator=(const CListImport&) = delete;

    // User thread. Starts the worker on items (files and folders; relative ones against the
    // working folder now). A scan still running is cancelled and its result dropped first.
    // finished, when given, runs on the worker thread once the result is ready: it should only
    // hand over to the user thread (a queued call, never one that waits for it: Start and the
    // destructor wait for the worker), which then takes the result.
    void Start(std::vector<std::string> items, bool includeSubFolders, std::function<void()> finished = {});
    // Any thread. Asks the worker to stop; it does within one file or folder name.
    void Cancel();
    // User thread, once Done(): the entries and the report. Waits for the worker when called
    // earlier. A second call returns an empty result.
    Result TakeResult();

    // User thread. Appends entries to list as copies with fresh ids until it holds 999 (entries
    // on a removable drive marked so); no file is touched. The entries that did not fit are
    // counted in report.beyondLimit. Returns the number added. A list that feeds the Time Line
    // takes them under the application's busy flag, as any other change.
    static int AppendTo(CPlaylist& list, const std::vector<TrackEntry>& entries, ListLoadReport& report);

    // Any thread.
    bool Done() const { return m_done.load(std::memory_order_acquire); }
    int ItemsTotal() const { return m_itemsTotal.load(std::memory_order_relaxed); }
    int ItemsDone() const { return m_itemsDone.load(std::memory_order_relaxed); }
    // Names looked at inside folders and items that are no folder.
    int FilesSeen() const { return m_filesSeen.load(std::memory_order_relaxed); }
    // Track files found so far, those beyond the 999 included.
    int TracksFound() const { return m_tracksFound.load(std::memory_order_relaxed); }

private:
    class CWalk;
    void Run(std::vector<std::string> items, bool includeSubFolders, std::function<void()> finished);
    void Stop();

    // Written by the worker until it sets m_done, then read by the user thread only.
    Result m_result;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_done{false};
    std::atomic<int> m_itemsTotal{0};
    std::atomic<int> m_itemsDone{0};
    std::atomic<int> m_filesSeen{0};
    std::atomic<int> m_tracksFound{0};
};
