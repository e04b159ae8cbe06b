#include "PlaySnapshot.h"

#include "Playlist.h"

#include <algorithm>

std::unique_ptr<const CPlaySnapshot> CPlaySnapshot::Build(const CPlaylist& list, const CTimeLine& timeLine,
                                                          int mode, uint32_t generation, int startIndex,
                                                          uint64_t serial)
{
    std::unique_ptr<CPlaySnapshot> snapshot(new CPlaySnapshot());
    snapshot->m_serial = serial;
    snapshot->m_mode = mode;
    snapshot->m_generation = generation;
    snapshot->m_startIndex = startIndex;
    snapshot->m_tracks.reserve(static_cast<size_t>(list.Count()));
    snapshot->m_byId.reserve(static_cast<size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) {
        const TrackEntry& entry = list.Entry(i);
        snapshot->m_tracks.push_back({entry.id, entry.location, entry.cuePoints, entry.tempo,
                                      entry.tempoQuality, entry.firstBeatMs, entry.audibleStartMs,
                                      entry.audibleEndMs, entry.loudnessLufs, entry.truePeakDb});
        snapshot->m_byId.emplace_back(entry.id, i);
    }
    std::sort(snapshot->m_byId.begin(), snapshot->m_byId.end());
    snapshot->m_items.reserve(static_cast<size_t>(timeLine.Count()));
    for (int i = 0; i < timeLine.Count(); ++i)
        snapshot->m_items.push_back(*timeLine.Item(i));
    return snapshot;
}

const SnapshotTrack* CPlaySnapshot::TrackAt(int index) const noexcept
{
    return index >= 0 && index < TrackCount() ? &m_tracks[static_cast<size_t>(index)] : nullptr;
}

int CPlaySnapshot::IndexOfId(int32_t id) const noexcept
{
    const auto it = std::lower_bound(m_byId.begin(), m_byId.end(), std::make_pair(id, -1));
    return it != m_byId.end() && it->first == id ? it->second : -1;
}

const SnapshotTrack* CPlaySnapshot::TrackById(int32_t id) const noexcept
{
    return TrackAt(IndexOfId(id));
}

const TimeLineItem* CPlaySnapshot::Item(int index) const noexcept
{
    return index >= 0 && index < ItemCount() ? &m_items[static_cast<size_t>(index)] : nullptr;
}

int CPlaySnapshot::ItemOfTrack(int32_t track) const noexcept
{
    for (int i = 0; i < ItemCount(); ++i)
        if (m_items[static_cast<size_t>(i)].track == track)
            return i;
    return -1;
}

TimeLineCursor CPlaySnapshot::CurrentAndNext(int current) const noexcept
{
    TimeLineCursor cursor;
    if (current < 0 || current >= ItemCount())
        return cursor;
    const TimeLineItem& item = m_items[static_cast<size_t>(current)];
    cursor.index = current;
    cursor.deck = item.deck;
    cursor.track = item.track;
    if (current + 1 < ItemCount()) {
        cursor.nextDeck = m_items[static_cast<size_t>(current + 1)].deck;
        cursor.nextTrack = m_items[static_cast<size_t>(current + 1)].track;
    } else {
        cursor.nextDeck = item.deck ^ 1;
    }
    return cursor;
}
