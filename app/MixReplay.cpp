#include "MixReplay.h"

#include "AudioEngine.h"
#include "ControlHost.h"
#include "MixStream.h"
#include "PlaySnapshot.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

void CMixReplay::Start() noexcept
{
    m_startPending = true;
}

int CMixReplay::EntryForTrackValue(int32_t value) const noexcept
{
    const int index = value - 1;
    return m_snapshot != nullptr && index >= 0 && index < m_snapshot->TrackCount() ? index : -1;
}

bool CMixReplay::LoadEntry(int deck, int index) noexcept
{
    if (index < 0) {
        // A track the list does not hold: the mix cannot go on; the decks keep their state.
        m_mix.Play(false);
        return false;
    }
    const SnapshotTrack& entry = *m_snapshot->TrackAt(index);
    m_host.LoadTrackToDeck(deck, entry.location.c_str(), entry.id);
    return true;
}

void CMixReplay::Tick(const CPlaySnapshot* snapshot) noexcept
{
    m_snapshot = snapshot;
    if (m_startPending) {
        StartTick();
        return;
    }
    if (!m_mix.Playing())
        return;
    CControlFunction* positions = m_host.Controls().Internal(ControlId::MixPlayPosition);
    int32_t positionA = 0;
    int32_t positionB = 0;
    // Busy: the user-interface thread is seeking or rebuilding; this tick plays on as it is.
    if (m_mix.TryReadTick(true, true, &positionA, &positionB) != CMixStream::TickResult::Tick)
        return;
    positions->Set(0, positionA, Marks::None);
    positions->Set(1, positionB, Marks::None);
    const uint32_t generation = m_mix.SeekGeneration();
    const bool seeked = generation != m_seekGeneration;
    if (seeked) {
        // After a seek the positions read at the target are the only base to compare with.
        m_seekGeneration = generation;
        m_lastPosition = {-1, -1};
    }
    CAudioEngine& engine = m_host.Engine();
    const std::array<int32_t, 2> recorded = {positionA, positionB};
    for (int deck = 0; deck < 2; ++deck) {
        // The stream's own track values: a seek moves them without applying the ticks between.
        const int32_t track = std::max(0, m_mix.TrackNow(deck));
        // A change that meets a deck still loading is taken up on a later tick.
        if (track != m_lastTrack[deck] && !engine.Loading(deck)) {
            m_lastTrack[deck] = track;
            if (track != 0 && !LoadEntry(deck, EntryForTrackValue(track)))
                return;
            // The load put the deck's functions back to their defaults; after a seek the mix's
            // state there must come again on the next tick.
            if (seeked)
                m_mix.RequestResync();
        }
        FollowDeck(deck, recorded[deck]);
    }
}

void CMixReplay::StartTick() noexcept
{
    CControlTable& table = m_host.Controls();
    CAudioEngine& engine = m_host.Engine();
    if (m_mix.TryReadTick(false, true, nullptr, nullptr) == CMixStream::TickResult::Busy)
        return;
    bool ready = true;
    for (int deck = 0; deck < 2; ++deck) {
        table.SetValue(ControlId::DeckStartStop, deck, 0, Marks::ChangedAndApply);
        const int32_t track = std::max(0, m_mix.TrackNow(deck));
        const int index = EntryForTrackValue(track);
        const bool holds = engine.LoadedEntry(deck) >= 0 && index >= 0 &&
                           engine.LoadedEntry(deck) == m_snapshot->TrackAt(index)->id;
        if (track != 0 && !holds && !engine.Loading(deck)) {
            if (!LoadEntry(deck, index)) {
                m_startPending = false;
                return;
            }
        }
        // Ready once every deck holds the track the mix starts with; a load of another track
        // still in flight does not count.
        ready = ready && !engine.Loading(deck) && (track == 0 || holds);
        m_lastTrack[deck] = track;
    }
    if (ready) {
        m_startPending = false;
        m_lastPosition = {-1, -1};
        m_seekGeneration = m_mix.SeekGeneration();
    }
}

void CMixReplay::FollowDeck(int deck, int32_t recordedPosition) noexcept
{
    CDeckPlayer& player = m_host.Engine().Deck(deck);
    player.SetNudge(0.0f);
    const bool loading = m_host.Engine().Loading(deck);
    if (recordedPosition != m_lastPosition[deck] && recordedPosition >= 0 && player.Loaded() && !loading) {
        const double diff = static_cast<double>(player.PlayPosition()) - recordedPosition;
        const double limit = std::fabs(player.Speed()) * 512.0 + 128.0;
        // A nudge would make a standing deck crawl audibly; it is put in place instead.
        const bool standing = !player.Playing() && player.ScratchModeValue() == 0;
        if (std::fabs(diff) > limit || (standing && diff != 0.0))
            player.SeekMs(player.FramesToMs(recordedPosition));
        else
            player.SetNudge(static_cast<float>(diff) * kNudgePerFrame);
    }
    m_lastPosition[deck] = recordedPosition;
    const CControlFunction* cues =
        m_host.Controls().Internal(deck == 0 ? ControlId::MixCuePointsA : ControlId::MixCuePointsB);
    if (player.Loaded()) {
        for (int i = 0; i < CDeckPlayer::kMarkers; ++i)
            player.SetMarker(i, player.FramesToMs(cues->Value(i)));
    }
}
