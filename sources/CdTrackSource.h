#pragma once

#include "AudioSource.h"

#include <cstdint>
#include <memory>
#include <string>

class CCdReader;

// Plays one track of the open Audio-CD, one sector (588 frames) a block, from a ring of 768
// sectors that the CD reader fills ahead of (or, in reverse, behind) the current sector. Two
// windows describe the ring: the sectors held, and the sectors being read, which is the held
// window extended by the outstanding request (equal to it when none is outstanding). Sector s
// lives at ring position s mod 768.
//
// Threads: Open and Close on the loader thread (Open waits for the first 256 sectors); SeekBlock
// and ReadBlock on the refill thread under the deck's lock, never blocking on the drive: a
// sector not read yet makes ReadBlock return 0 and the deck asks again later. The windows are
// guarded by the reader's slot lock, which the reader thread takes to store chunks.
class CCdTrackSource : public CAudioSource {
public:
    static constexpr int kRingSectors = 768; // about 10.2 s
    static constexpr int kSectorFrames = 588;
    static constexpr int kRequestSectors = 256;  // a refill step
    static constexpr int kAheadSectors = 384;    // kept ahead of the play position
    static constexpr int kRestartDistance = 192; // seeks this far from the held window restart it
    static constexpr int kRestartLead = 128;     // a restarted window begins this far before the target

    struct Window {
        int first = 0; // sector, relative to the track
        int count = 0;
        bool operator==(const Window&) const = default;
    };

    // Reads from the program's CD.
    CCdTrackSource();
    explicit CCdTrackSource(CCdReader& reader);
    ~CCdTrackSource() override;
    CCdTrackSource(const CCdTrackSource&) = delete;
    CCdTrackSource& operator=(const CCdTrackSource&) = delete;

    // "CD Track n"; null while closed.
    const char* GetTitle() const override;
    // path is "X:\TrackNN.cda": the drive letter and the 1-based track number. Nonzero when that
    // drive's CD is open and the track holds audio.
    int Open(const char* path) override;
    void Close() override;
    int GetBlockFrames() const override { return kSectorFrames; }
    int GetBlockCount() const override { return m_open ? m_lengthSectors : 0; }
    // Makes the sector current and plans the reads around it.
    void SeekBlock(int index) override;
    int GetCurrentBlock() const override;
    float GetBlockDuration() const override { return 1000.0f / 75.0f; }
    // 588 with the current sector's frames, or 0 when it is not held yet; advances either way.
    int ReadBlock(int16_t* left, int16_t* right) override;

    // Any thread: the windows, for displays and tests.
    Window HeldWindow() const;
    Window ReadingWindow() const;

    // Reader thread, with the reader's slot lock held.
    uint32_t TrackStart() const { return m_trackStart; }
    // Copies count sectors starting at sector first (relative) into the ring, those inside the
    // reading window only.
    void StoreLocked(int first, int count, const uint8_t* sectors);
    // A read that ended: the reading window becomes the held one, or is dropped after a failure.
    void EndReadLocked(bool success);

private:
    void SeekLocked(int sector);
    void RequestLocked(int count, bool forward);

    CCdReader& m_reader; // the program's reader outlives every source
    int m_slot = -1;     // 0, 1, or -1 while not registered
    bool m_open = false;
    std::string m_title;
    uint32_t m_trackStart = 0; // absolute sector of the track's first sector
    int m_lengthSectors = 0;
    int m_current = 0; // sector ReadBlock delivers next, relative
    Window m_held;
    Window m_reading;
    std::unique_ptr<uint8_t[]> m_ring; // 768 sectors of 2352 bytes, allocated at the first Open
};
