#pragma once

#include "TimeLine.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CPlaylist;

// What the audio thread knows of a list entry.
struct SnapshotTrack {
    int32_t id = -1;
    std::string location;
    std::array<double, 5> cuePoints{}; // ms; 0 = not set
    float tempo = 0.0f;                // BPM; 0 = none
    float tempoQuality = 0.0f;
    double firstBeatMs = -1.0;    // the tempo's first beat; -1 = not known
    double audibleStartMs = -1.0; // first sound above -60 dBFS; -1 = not measured
    double audibleEndMs = -1.0;   // last such sound
    float loudnessLufs = 0.0f;    // integrated loudness; 0 = not measured
    float truePeakDb = 0.0f;      // dBTP, valid with loudnessLufs
};

// Everything the audio thread reads of the lists, frozen: the Time Line list's entries in list
// order (a mix names them by their place), the Time Line's items, and the playback mode they go
// with. The user-interface thread owns and edits the lists; after each change it builds a new
// snapshot and publishes it (CSnapshotBox), so the audio thread never sees half a change.
//
// Threads: Build on the user-interface thread; everything else on any thread, without locks or
// allocation (the object never changes once built).
class CPlaySnapshot {
public:
    // generation says when the Time Line was replaced as a whole (a new list, another mode):
    // the Automix step then starts from startIndex instead of following its current item.
    static std::unique_ptr<const CPlaySnapshot> Build(const CPlaylist& list, const CTimeLine& timeLine,
                                                      int mode, uint32_t generation, int startIndex,
                                                      uint64_t serial);

    uint64_t Serial() const noexcept { return m_serial; }
    int Mode() const noexcept { return m_mode; }
    uint32_t Generation() const noexcept { return m_generation; }
    int StartIndex() const noexcept { return m_startIndex; }

    int TrackCount() const noexcept { return static_cast<int>(m_tracks.size()); }
    // Null when index or id names no entry.
    const SnapshotTrack* TrackAt(int index) const noexcept;
    const SnapshotTrack* TrackById(int32_t id) const noexcept;
    int IndexOfId(int32_t id) const noexcept;

    int ItemCount() const noexcept { return static_cast<int>(m_items.size()); }
    const TimeLineItem* Item(int index) const noexcept;
    // The first item playing the track, or -1.
    int ItemOfTrack(int32_t track) const noexcept;
    // The item at current and the one after it, as CTimeLine gives them.
    TimeLineCursor CurrentAndNext(int current) const noexcept;

private:
    CPlaySnapshot() = default;

    uint64_t m_serial = 0;
    int m_mode = 0;
    uint32_t m_generation = 0;
    int m_startIndex = 0;
    std::vector<SnapshotTrack> m_tracks;
    std::vector<std::pair<int32_t, int>> m_byId; // (id, index), sorted by id
    std::vector<TimeLineItem> m_items;
};
