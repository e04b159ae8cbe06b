#pragma once

#include "CdDrive.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class CCdTrackSource;

// The program's Audio-CD: the open drive with its table of contents, and the one reader thread
// that serves the CD track sources. Each source holds one of two request slots; the reader
// serves the slots in turn, one request at a time, so two decks playing from the same disc
// share the drive round-robin.
//
// Locks, in this order when both are needed: drive lock -> slot lock. The slot lock also guards
// the read windows of every registered source; the reader holds it only to take a request, to
// store a chunk and to finish a request, never while the drive works.
class CCdReader {
public:
    static constexpr int kSlots = 2;

    CCdReader() = default;
    ~CCdReader();
    CCdReader(const CCdReader&) = delete;
    CCdReader& operator=(const CCdReader&) = delete;

    // The reader the track sources of the program use.
    static CCdReader& Program();

    // Shell and playlist thread: may block for as long as the drive takes.
    // Opens the CD in the drive with that letter; the number of tracks, 0 on failure.
    int OpenAudioCd(char letter, bool reopen);
    void CloseAudioCd();
    // 1 and the track's length in seconds (rounded), or 0 when no CD is open or index (0-based)
    // names no track. A data track is 0 seconds long.
    int GetCdTrackLength(int index, int& seconds) const;

    // Any thread.
    bool TocLoaded() const { return m_tocLoaded.load(); }
    // The open drive, for tests that make its disc image fail; valid while the CD is open.
    CCdDrive& Drive() { return m_drive; }

    // Loader thread, for the track sources: may block.
    // First sector (absolute) and length (sectors) of audio track index; false when no CD is
    // open, the index names no track or the track holds data.
    bool TrackExtent(int index, uint32_t& start, uint32_t& length) const;
    // The slot (0 or 1) of a new source reading from the drive with that letter, or -1 when both
    // slots are taken, no CD is open or the letter names another drive. The first registration
    // starts the reader thread.
    int Register(CCdTrackSource& source, char letter);
    // Aborts the source's read, waits until the reader lets go of the source, frees the slot.
    // The last one ends the reader thread.
    void Unregister(int slot, CCdTrackSource& source);
    // Waits until the slot's request has been served.
    void WaitDone(int slot);

    // Refill and loader threads, with SlotLock() held.
    std::mutex& SlotLock() { return m_slotLock; }
    // Hands the reader sectors [first, first + count) of the source's track and wakes it.
    void RequestLocked(int slot, CCdTrackSource& source, int first, int count);
    bool DoneLocked(int slot) const { return m_slots[static_cast<size_t>(slot)].done; }
    // Stops the range being read when it is the source's: the reader stores no more of it and
    // leaves the source's windows alone.
    void AbortIfServingLocked(const CCdTrackSource& source);

private:
    struct Slot {
        CCdTrackSource* source = nullptr; // the request's source; null when the slot holds none
        CCdTrackSource* owner = nullptr;  // the registered source; null when the slot is free
        int first = 0;                    // sectors, relative to the track
        int count = 0;
        bool done = true;
    };

    void Run();
    bool AnyRequestLocked() const;
    void StoreChunk(CCdTrackSource& source, uint32_t first, uint32_t bytes, const CCdDrive& drive);

    CCdDrive m_drive; // under m_driveLock
    mutable std::mutex m_driveLock;
    std::atomic<bool> m_tocLoaded{false};

    mutable std::mutex m_slotLock; // over everything below
    CdToc m_toc;                   // the published copy
    char m_letter = 0;             // of the open CD
    std::array<Slot, kSlots> m_slots;
    int m_next = 0;                     // the slot served next
    CCdTrackSource* m_served = nullptr; // the source whose range is being read
    bool m_abort = false;               // the range being read is no longer wanted
    bool m_event = false;               // the wake-up event: set by requests
    bool m_run = false;
    std::condition_variable m_wake;    // the reader waits on it for m_event
    std::condition_variable m_changed; // a request was served or the reader let go

    std::mutex m_threadLock; // serialises starting and ending the thread
    std::thread m_thread;
};
