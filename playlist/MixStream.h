#pragma once

#include "GuardedMutex.h"
#include "Tick.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class CControlFunction;
class CControlTable;
class CPlaylist;
class CTimeLine;

// A loaded Mix-File: the event stream that drives both decks and the mixer tick by tick, its
// title and comment, and the track markers derived from it. Replay writes the recorded values
// into the registered control function channels; a channel the user moves while the mix plays
// is taken over and no longer written, if it may be.
//
// Stream: per tick, value events (u16 id, u8 tag = width nibble | channel, value) and one end
// marker (u16 with bit 15, bit 14 on the first tick, position codes for decks A and B, then
// their payloads). The reader checks every length against the bytes left. Load and SetStream
// read the whole stream once: a stream that ends in the middle of a tick, a width or position
// code it does not know, a marker with bits no recorder sets, or a tick count that disagrees
// with the bytes makes the mix end at the first tick that cannot be read, and DamagedAtTick
// tells which tick that is. An event for a function the mix does not drive is skipped: it
// costs one value, not the rest of the mix.
//
// Threads: every operation takes the mix's own lock for its whole run. The audio thread uses
// TryReadTick, which does nothing while another thread (a seek, a load, the Time Line build)
// holds the lock, so the render cycle never waits for it.
class CMixStream {
public:
    struct ChannelEntry {
        uint8_t channel = 0;
        CControlFunction* function = nullptr; // the control table outlives the stream
        int32_t lastValue = 0;                // the recorder's last written value
        uint16_t flags = 0;                   // kOverridable, kTakenOver
    };
    enum class TickResult { Tick, End, Busy };

    static constexpr uint16_t kOverridable = 1;
    static constexpr uint16_t kTakenOver = 2;
    static constexpr int kMaxMarkers = 128;
    static constexpr uint32_t kSeekStep = 256;
    static constexpr uint32_t kIntact = UINT32_MAX;

    CMixStream();
    CMixStream(const CMixStream&) = delete;
    CMixStream& operator=(const CMixStream&) = delete;

    // User-interface thread, once at start-up: the mix channel table in its fixed order.
    void RegisterChannels(CControlTable& table);
    void Register(CControlFunction& function, bool overridable);

    // Container (.qzx). playlist null: the embedded list is skipped. Only a regular file is read;
    // a FIFO or a device is refused at once.
    bool Load(const char* path, CPlaylist* playlist);
    // Why the last Load failed, to follow the file's name ("is not a regular file"); empty after
    // a success.
    std::string LoadError() const;
    bool Save(const char* path, CPlaylist& playlist);
    // The stream alone (tests, the recorder, the fuzzer): replaces the mix and builds markers.
    void SetStream(std::vector<uint8_t> stream, uint32_t tickCount);
    std::vector<uint8_t> Stream() const;
    void Clear();

    void SetTitle(const std::string& title);
    void SetComment(const std::string& comment);
    void SetPath(const std::string& path);
    std::string Title() const;   // "untitled" when none
    std::string Comment() const; // empty when none
    std::string Path() const;

    // Reads one tick; see TryReadTick. False at the end of the stream.
    bool ReadTick(bool advance, bool apply, int32_t* positionA, int32_t* positionB);
    // Audio thread: no allocation, no file access, no waiting. Busy when another thread holds
    // the lock.
    TickResult TryReadTick(bool advance, bool apply, int32_t* positionA, int32_t* positionB) noexcept;

    // Any thread, without the lock: the release of taken-over channels that Play(on) asks for
    // happens at the next locked operation.
    void Play(bool on) noexcept;
    bool Playing() const noexcept { return m_playing.load(std::memory_order_acquire); }
    void TakeOverAll(bool on);
    // Only while playing; returns whether the channel was taken over before.
    bool TakeOver(int32_t id, int channel, bool on);
    bool OverrideActive() const;
    bool TakenOver(int32_t id, int channel) const;

    void SeekTick(uint32_t tick);
    void SeekForward(uint32_t steps);
    void SeekBackward(uint32_t steps);
    void SeekNextMarker();
    void SeekPreviousMarker();
    // Any thread, without the lock.
    uint32_t CurrentTick() const noexcept { return m_currentTick.load(std::memory_order_acquire); }
    uint32_t TickCount() const noexcept { return m_tickCount.load(std::memory_order_acquire); }
    // The first tick of the loaded stream that could not be read, which is where the mix now
    // ends (TickCount); kIntact when the whole stream was read. A damaged trailer empties the
    // mix: damaged at tick 0.
    uint32_t DamagedAtTick() const noexcept { return m_damagedAtTick.load(std::memory_order_acquire); }
    // Audio thread: back to tick 0 unless another thread holds the lock (then false).
    bool TryRewind() noexcept;
    // Counts seeks and rewinds: the replay forgets the positions it compared against whenever
    // this changes, so the first ticks after a seek compare with positions read at the target.
    uint32_t SeekGeneration() const noexcept { return m_seekGeneration.load(std::memory_order_acquire); }
    std::vector<uint32_t> Markers() const;

    // Last values read for the deck tracks (playlist index + 1, -1 before any) and "X-Fader".
    int32_t Track(int deck) const;
    // The same without the lock, for the replay: the tracks of the tick last read, seeks included.
    int32_t TrackNow(int deck) const noexcept { return m_trackNow[deck & 1].load(std::memory_order_acquire); }
    int32_t CrossFader() const;

    // One block per track a deck played audibly in the mix.
    void BuildTimeLine(CTimeLine& timeLine);
    // Every track value (playlist index + 1) the mix loads, once each.
    std::vector<int32_t> TrackValues();

    // The recorder's view of the table (its own lock is the caller's business).
    std::vector<ChannelEntry>& Channels() noexcept { return m_channels; }
    // Any thread: the next applied tick writes the whole state again (after a deck load reset
    // a deck's functions, say).
    void RequestResync() noexcept { m_resyncPending.store(true, std::memory_order_release); }

private:
    enum class Decode { Tick, End, Corrupt };

    TickResult ReadTickLocked(bool advance, bool apply, int32_t* positionA, int32_t* positionB) noexcept;
    Decode DecodeTick(bool apply, bool& firstTick) noexcept;
    ChannelEntry* FindEntry(int32_t id, int channel) noexcept;
    void RewindLocked() noexcept;
    void SeekLocked(uint32_t target) noexcept;
    uint32_t MarkerTarget(uint32_t marker) const noexcept;
    void CheckStreamLocked() noexcept;
    void BuildMarkersLocked() noexcept;
    void ClearLocked(bool clearText) noexcept;
    void ReleasePendingLocked() noexcept;

    mutable CGuardedMutex m_lock{"CMixStream lock"};
    static constexpr int32_t kUnknown = INT32_MIN;

    std::vector<ChannelEntry> m_channels;
    std::vector<int32_t> m_shadow; // per channel entry: the last value read, kUnknown before any
    std::atomic<bool> m_resyncPending{false};
    std::array<int16_t, 1028> m_firstEntry; // id -> index of its channel 0 entry, -1: none

    std::vector<uint8_t> m_stream;
    uint32_t m_readPosition = 0; // bytes
    // Written under the lock; read without it by the Automix step.
    std::atomic<uint32_t> m_tickCount{0};
    std::atomic<uint32_t> m_currentTick{0};
    uint32_t m_declaredTickCount = 0; // as the file said; saved back unchanged
    std::atomic<uint32_t> m_damagedAtTick{kIntact};
    std::atomic<bool> m_playing{false}; // written under the lock, read by the replay without it
    bool m_overrideActive = false;
    std::atomic<bool> m_releasePending{false}; // Play(on) asked to hand every channel back
    std::array<int32_t, 2> m_track{-1, -1};
    std::array<std::atomic<int32_t>, 2> m_trackNow{-1, -1}; // m_track as of the last tick read
    int32_t m_crossFader = -1;
    std::array<int32_t, 2> m_runningPosition{-1, -1}; // frames of each deck's track
    std::array<uint32_t, kMaxMarkers> m_markers{};
    int m_markerCount = 0;
    std::atomic<uint32_t> m_seekGeneration{0};
    std::string m_title;
    std::string m_comment;
    std::string m_path;
    std::string m_loadError;
};
