#pragma once

#include "GuardedMutex.h"
#include "MixChannels.h"
#include "MixFile.h"
#include "MixTickReader.h"
#include "MixTimeLineBuilder.h"

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
// The one mix object the program holds. Its parts: the file (CMixFile: the container and the
// damage found at load), the channel table (CMixChannels: what a mix drives and what the user
// took over), the tick reader (CMixTickReader: replay, seeks, markers) and the builder
// (CMixTimeLineBuilder: markers, Time Line and track list from the whole stream).
//
// Threads: every operation takes the mix's own lock for its whole run. The audio thread uses
// TryReadTick and TryRewind, which do nothing while another thread (a seek, a load, the Time
// Line build) holds the lock, so the render cycle never waits for it.
class CMixStream {
public:
    using ChannelEntry = CMixChannels::ChannelEntry;
    using TickResult = CMixTickReader::TickResult;

    static constexpr uint16_t kOverridable = CMixChannels::kOverridable;
    static constexpr uint16_t kTakenOver = CMixChannels::kTakenOver;
    static constexpr int kMaxMarkers = CMixTickReader::kMaxMarkers;
    static constexpr uint32_t kSeekStep = CMixTickReader::kSeekStep;
    static constexpr double kTickMs = CMixTimeLineBuilder::kTickMs;
    static constexpr uint32_t kIntact = CMixTickDecoder::kIntact;

    CMixStream() = default;
    CMixStream(const CMixStream&) = delete;
    CMixStream& operator=(const CMixStream&) = delete;

    // User-interface thread, once at start-up: the mix channel table in its fixed order.
    void RegisterChannels(CControlTable& table);
    void Register(CControlFunction& function, bool overridable);

    // User-interface or loader thread: reads or writes files, allocates.
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

    // User-interface thread: may allocate.
    void SetTitle(const std::string& title);
    void SetComment(const std::string& comment);
    void SetPath(const std::string& path);
    std::string Title() const;   // "untitled" when none
    // Title into out, reusing its room: a display polling it allocates nothing.
    void CopyTitle(std::string& out) const;
    std::string Comment() const; // empty when none
    std::string Path() const;

    // Any thread but the audio thread: waits for the lock. False at the end of the stream.
    bool ReadTick(bool advance, bool apply, int32_t* positionA, int32_t* positionB);
    // Audio thread: no allocation, no file access, no waiting. Busy when another thread holds
    // the lock.
    TickResult TryReadTick(bool advance, bool apply, int32_t* positionA, int32_t* positionB) noexcept;
    // Audio thread: back to tick 0 unless another thread holds the lock (then false).
    bool TryRewind() noexcept;

    // Any thread, without the lock: the release of taken-over channels that Play(on) asks for
    // happens at the next locked operation.
    void Play(bool on) noexcept;
    bool Playing() const noexcept { return m_reader.Playing(); }

    // User-interface thread: waits for the lock.
    void TakeOverAll(bool on);
    // Only while playing; returns whether the channel was taken over before.
    bool TakeOver(int32_t id, int channel, bool on);
    bool OverrideActive() const;
    bool TakenOver(int32_t id, int channel) const;

    // User-interface thread: waits for the lock; linear in the ticks skipped.
    void SeekTick(uint32_t tick);
    void SeekForward(uint32_t steps);
    void SeekBackward(uint32_t steps);
    void SeekNextMarker();
    void SeekPreviousMarker();
    std::vector<uint32_t> Markers() const;
    // Last values read for the deck tracks (playlist index + 1, -1 before any) and "X-Fader".
    int32_t Track(int deck) const;
    int32_t CrossFader() const;

    // Any thread, without the lock.
    uint32_t CurrentTick() const noexcept { return m_reader.CurrentTick(); }
    uint32_t TickCount() const noexcept { return m_reader.TickCount(); }
    // The first tick of the loaded stream that could not be read, which is where the mix now
    // ends (TickCount); kIntact when the whole stream was read. A damaged trailer empties the
    // mix: damaged at tick 0.
    uint32_t DamagedAtTick() const noexcept { return m_reader.DamagedAtTick(); }
    // Counts seeks and rewinds: the replay forgets the positions it compared against whenever
    // this changes, so the first ticks after a seek compare with positions read at the target.
    uint32_t SeekGeneration() const noexcept { return m_reader.SeekGeneration(); }
    // The tracks of the tick last read, seeks included, for the replay.
    int32_t TrackNow(int deck) const noexcept { return m_reader.TrackNow(deck); }
    // The next applied tick writes the whole state again (after a deck load reset a deck's
    // functions, say).
    void RequestResync() noexcept { m_channels.RequestResync(true); }

    // User-interface thread: waits for the lock, reads the whole stream, allocates.
    // One block per track a deck played audibly in the mix.
    void BuildTimeLine(CTimeLine& timeLine);
    // Every track value (playlist index + 1) the mix loads, once each.
    std::vector<int32_t> TrackValues();

    // The recorder's view of the table (its own lock is the caller's business).
    std::vector<ChannelEntry>& Channels() noexcept { return m_channels.Entries(); }

private:
    // The file's stream changed: the reader starts on it and the markers are built anew.
    void StartStreamLocked() noexcept;

    mutable CGuardedMutex m_lock{"CMixStream lock"};
    CMixFile m_file;
    // Mutable: a query applies the release Play(on) asked for, as every locked operation does.
    mutable CMixChannels m_channels;
    CMixTickReader m_reader{m_file.Stream(), m_channels};
    CMixTimeLineBuilder m_builder{m_reader};
};
