#include "Automix.h"

#include "AudioEngine.h"
#include "PlaySnapshot.h"
#include "PlayerCore.h"
#include "Tick.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kEndSeconds = 0.01; // "at the end of the track"
constexpr double kRestartSeconds = 2.0;
constexpr int kSeekFull = 4096;

// A next track shorter than three fade times gets no early change-over: it would be faded over
// most of its length.
bool EarlyChangeOver(double fade, double nextSeconds)
{
    return fade >= kEndSeconds && nextSeconds >= 3.0 * fade;
}

} // namespace

double CAutomix::ChangeOverOverlapSeconds(double fadeSeconds, double nextSeconds) noexcept
{
    if (fadeSeconds < 0.0)
        return fadeSeconds;
    return EarlyChangeOver(fadeSeconds, nextSeconds) ? fadeSeconds : 0.0;
}

CAutomix::ChangeOverPlan CAutomix::PlanChangeOver(double fadeSeconds, double remainingSeconds,
                                                  double nextSeconds) noexcept
{
    // Without a fade the next track follows within a tick of the end, so hardly anything of
    // the old one is cut; a fade of any length blends the last 10 ms.
    const double atEnd =
        fadeSeconds >= 0.0 ? std::clamp(fadeSeconds, kTickSeconds, kEndSeconds) : kEndSeconds;
    const double threshold = EarlyChangeOver(fadeSeconds, nextSeconds) ? fadeSeconds : atEnd;
    if (remainingSeconds > threshold)
        return {};
    return {true, std::min(fadeSeconds, remainingSeconds)};
}

double CAutomix::AudibleRemainingSeconds(double remainingSeconds, double lengthSeconds,
                                         double audibleEndMs) noexcept
{
    if (audibleEndMs < 0.0)
        return remainingSeconds;
    const double silentTail = std::max(lengthSeconds - audibleEndMs / 1000.0, 0.0);
    return std::max(remainingSeconds - silentTail, 0.0);
}

double CAutomix::LevelGainDb(float loudnessLufs, float truePeakDb) noexcept
{
    if (loudnessLufs == 0.0f || !std::isfinite(loudnessLufs) || !std::isfinite(truePeakDb))
        return 0.0;
    return std::min(static_cast<double>(kLevelTargetLufs) - loudnessLufs, -static_cast<double>(truePeakDb));
}

TimeLineCursor CAutomix::Cursor() const noexcept
{
    if (m_snapshot == nullptr)
        return {};
    const CPlaySnapshot& timeLine = *m_snapshot;
    TimeLineCursor cursor = timeLine.CurrentAndNext(CurrentIndex());
    if (cursor.index < 0)
        return cursor;
    const int swap = m_deckSwap.load(std::memory_order_relaxed);
    cursor.deck ^= swap;
    if (cursor.nextTrack >= 0) {
        cursor.nextDeck ^= swap;
    } else {
        cursor.nextDeck = cursor.deck ^ 1;
        const TimeLineItem* first = timeLine.Item(0);
        if (RepeatAll() && !RepeatSingle() && first != nullptr)
            cursor.nextTrack = first->track;
    }
    return cursor;
}

bool CAutomix::Running() const noexcept
{
    return m_core.Controls().GetValue(ControlId::RunStop, 0) != 0;
}

void CAutomix::SetControl(int32_t id, int channel, int32_t value) noexcept
{
    // Only real changes: a value set again every tick would be re-applied and redrawn each time.
    // A deck asked to play that is not playing (it was still loading when asked) is asked again.
    bool differs = m_core.Controls().GetValue(id, channel) != value;
    if (id == ControlId::DeckStartStop && value != 0) {
        const CDeckPlayer& player = m_core.Engine().Deck(channel);
        differs = differs || (player.Loaded() && !player.Playing() && !player.EndReached());
    }
    if (differs)
        m_core.Controls().SetValue(id, channel, value, Marks::ChangedAndApply);
}

bool CAutomix::DeckHolds(int deck, int32_t track) const noexcept
{
    return track >= 0 && m_core.Engine().LoadedEntry(deck) == track;
}

double CAutomix::PlayedSeconds(int deck) const noexcept
{
    const CDeckPlayer& player = m_core.Engine().Deck(deck);
    const uint32_t rate = player.SampleRate();
    return player.Loaded() && rate > 0 ? static_cast<double>(player.PlayPosition()) / rate : 0.0;
}

void CAutomix::LoadItemTrack(int deck, int32_t track) noexcept
{
    if (track < 0) {
        if (m_core.Engine().LoadedEntry(deck) >= 0 || m_core.Engine().Deck(deck).Loaded())
            m_core.LoadTrackToDeck(deck, nullptr, -1);
        return;
    }
    const SnapshotTrack* entry = m_snapshot != nullptr ? m_snapshot->TrackById(track) : nullptr;
    // A track the list no longer holds leaves the deck as it is; later ticks try again.
    if (entry == nullptr)
        return;
    // The load sets the deck's controls back to their defaults, the level among them.
    m_preparedTrack[static_cast<size_t>(deck & 1)] = -1;
    m_soundReached[static_cast<size_t>(deck & 1)] = -1;
    m_core.LoadTrackToDeck(deck, entry->location.c_str(), track);
}

void CAutomix::PrepareDeck(int deck, int32_t track) noexcept
{
    CAudioEngine& engine = m_core.Engine();
    CDeckPlayer& player = engine.Deck(deck);
    if (!DeckHolds(deck, track) || engine.Loading(deck) || !player.Loaded())
        return;
    const SnapshotTrack* entry = m_snapshot->TrackById(track);
    if (entry == nullptr)
        return;
    int32_t& prepared = m_preparedTrack[static_cast<size_t>(deck & 1)];
    const bool fresh = prepared != track;
    prepared = track;
    if (fresh && LevelTracks()) {
        const double gainDb = LevelGainDb(entry->loudnessLufs, entry->truePeakDb);
        SetControl(ControlId::DeckVolume, deck,
                   gainDb == 0.0 ? kUnityDeckVolume
                                 : engine.Mixer().DeckVolumeForGain(static_cast<float>(gainDb)));
    }
    // Seeking by frame: "Deck Seek Position" moves in 1/4096 of the track, tens of ms of silence
    // on a track of a few minutes. A deck asked to play while it loaded plays from its first
    // tick, and the load's own rewind may still be pending, so the deck is moved until it has
    // been seen past its silent lead in, playing or not.
    if (!SkipSilence() || entry->audibleStartMs <= 0.0)
        return;
    int32_t& reached = m_soundReached[static_cast<size_t>(deck & 1)];
    if (player.PlayPosition() >= player.MsToFrames(entry->audibleStartMs))
        reached = track;
    else if (reached != track || !player.Playing())
        player.SeekMs(entry->audibleStartMs);
}

double CAutomix::RemainingOfSound(int deck) const noexcept
{
    const CDeckPlayer& player = m_core.Engine().Deck(deck);
    const double remaining = player.RemainingSeconds();
    if (!SkipSilence())
        return remaining;
    const SnapshotTrack* entry =
        m_snapshot != nullptr ? m_snapshot->TrackById(m_core.Engine().LoadedEntry(deck)) : nullptr;
    return entry != nullptr ? AudibleRemainingSeconds(remaining, player.LengthSeconds(), entry->audibleEndMs)
                            : remaining;
}

void CAutomix::StartRamp(double durationSeconds, int towardsDeck) noexcept
{
    const int32_t fader = m_core.Controls().GetValue(ControlId::XFader, 0);
    m_core.FadeRamp().Start(static_cast<float>(fader), towardsDeck * 255, durationSeconds);
}

// ---- The step ------------------------------------------------------------------------------

void CAutomix::SetCurrent(int index) noexcept
{
    m_current.store(std::max(index, 0), std::memory_order_relaxed);
    const TimeLineItem* item = m_snapshot != nullptr ? m_snapshot->Item(CurrentIndex()) : nullptr;
    m_currentTrack = item != nullptr ? item->track : -1;
}

// A new snapshot: a new Time Line starts where the user-interface thread said; an edited one
// keeps playing the item it played, wherever the edit moved it.
void CAutomix::FollowSnapshot(const CPlaySnapshot* snapshot) noexcept
{
    m_snapshot = snapshot;
    if (snapshot == nullptr || snapshot->Serial() == m_snapshotSerial)
        return;
    m_snapshotSerial = snapshot->Serial();
    if (snapshot->Generation() != m_generation) {
        m_generation = snapshot->Generation();
        SetCurrent(snapshot->StartIndex());
        const TimeLineItem* item = snapshot->Item(snapshot->StartIndex());
        SetCurrentDeck(item != nullptr ? item->deck : 0);
        m_deckSwap.store(0, std::memory_order_relaxed);
        return;
    }
    const int moved = m_currentTrack >= 0 ? snapshot->ItemOfTrack(m_currentTrack) : -1;
    SetCurrent(moved >= 0 ? moved : std::min(CurrentIndex(), snapshot->ItemCount()));
}

void CAutomix::Step(const CPlaySnapshot* snapshot) noexcept
{
    FollowSnapshot(snapshot);
    // Before a list or a mix is put on the Time Line the decks are the user's alone.
    if (snapshot == nullptr || snapshot->Mode() == CPlayerCore::kNoMode)
        return;
    TakeRequests();
    const CPlaySnapshot& timeLine = *snapshot;
    if (timeLine.ItemCount() == 0) {
        for (int deck = 0; deck < 2; ++deck)
            LoadItemTrack(deck, -1);
        SetControl(ControlId::RunStop, 0, 0);
        return;
    }
    if (timeLine.Mode() == CPlayerCore::kDjMix) {
        StepDjMix();
        return;
    }
    if (timeLine.CurrentAndNext(CurrentIndex()).index < 0) {
        if (CurrentIndex() >= timeLine.ItemCount())
            m_core.PostEvent({CoreEvent::Type::EndOfList, -1, -1, 0, 0, nullptr});
        SetCurrent(0);
        // Another round goes on from the deck the first track was faded in on; the end of the
        // list starts the next run on the items' own decks.
        const TimeLineItem* first = timeLine.Item(0);
        const int swap = RepeatAll() && first != nullptr ? (first->deck ^ CurrentDeck()) & 1 : 0;
        m_deckSwap.store(swap, std::memory_order_relaxed);
        SetControl(ControlId::RunStop, 0, RepeatAll() ? 1 : 0);
    }
    const bool held = m_manualHold.load(std::memory_order_relaxed) > 0;
    if (held != m_manualHoldSeen) {
        m_manualHoldSeen = held;
        FollowManualHold(Running());
    }
    if (!held) {
        KeepDecksInLine();
        ActOnTransition();
    }
    UpdatePosition();
}

void CAutomix::TakeRequests() noexcept
{
    const int item = m_indexRequest.exchange(kNoIndexRequest, std::memory_order_acq_rel);
    const uint32_t requests = m_requests.exchange(0, std::memory_order_acq_rel);
    if (item != kNoIndexRequest) {
        SetCurrent(item);
        if ((requests & kHomeAsked) != 0)
            SetCurrentDeck(0);
    }
    if ((requests & ~kHomeAsked) == 0)
        return;
    CAutoFadeRamp& ramp = m_core.FadeRamp();
    if ((requests & kResetAsked) != 0) {
        if (ramp.Active())
            m_core.CompleteFade();
        SetTransition(kIdle);
        m_pendingSeek.store(0, std::memory_order_relaxed);
        m_deckSwap.store(0, std::memory_order_relaxed);
        // A new mode sets the deck volumes back to unity.
        m_preparedTrack = {-1, -1};
        m_soundReached = {-1, -1};
        return;
    }
    // Next or Previous during a ramp completes it rather than starting another change-over.
    if (ramp.Active()) {
        if ((requests & (kCompleteRamp | kNextAsked | kPreviousAsked)) != 0)
            m_core.CompleteFade();
        return;
    }
    if ((requests & kNextAsked) != 0)
        SetTransition(kNextRequested);
    else if ((requests & kPreviousAsked) != 0)
        SetTransition(kPreviousRequested);
}

void CAutomix::Reset() noexcept
{
    Ask(kResetAsked);
}

void CAutomix::StepDjMix() noexcept
{
    CMixStream& mix = m_core.Mix();
    const uint32_t count = mix.TickCount();
    const uint32_t tick = mix.CurrentTick();
    if (tick + 1 < count) {
        m_position.store(static_cast<uint32_t>(tick * kTickSeconds * 1000.0), std::memory_order_relaxed);
        return;
    }
    // The end of the mix: back to its start, stopped unless the whole list repeats.
    if (!RepeatAll())
        SetControl(ControlId::RunStop, 0, 0);
    mix.TryRewind();
}

void CAutomix::FollowManualHold(bool running) noexcept
{
    if (!m_manualHoldSeen) {
        // The user let go: the side the cross-fader favours plays on.
        const int favoured = m_core.Controls().GetValue(ControlId::XFader, 0) > 127 ? 1 : 0;
        if (favoured != CurrentDeck()) {
            SetCurrent(CurrentIndex() + 1);
            SetCurrentDeck(favoured);
        }
        const int current = CurrentDeck();
        if (running)
            SetControl(ControlId::DeckStartStop, current, 1);
        SetControl(ControlId::DeckStartStop, current ^ 1, 0);
        m_core.Controls().SetValue(ControlId::DeckSeekPosition, current ^ 1, 0, Marks::ChangedAndApply);
        SetControl(ControlId::XFader, 0, current * 255);
        return;
    }
    if (running) {
        // The user mixes by hand: both decks play and the ramp stops where it is.
        SetTransition(kIdle);
        m_core.FadeRamp().Freeze();
        SetControl(ControlId::DeckStartStop, 0, 1);
        SetControl(ControlId::DeckStartStop, 1, 1);
    }
}

void CAutomix::KeepDecksInLine() noexcept
{
    CAudioEngine& engine = m_core.Engine();
    const TimeLineCursor cursor = Cursor();
    if (Transition() == kIdle && cursor.deck >= 0 && cursor.deck != CurrentDeck()) {
        m_core.CompleteFade();
        SetCurrentDeck(cursor.deck);
        SetControl(ControlId::XFader, 0, CurrentDeck() * 255);
    }
    const int current = CurrentDeck();
    const int pending = m_pendingSeek.load(std::memory_order_relaxed);
    if (DeckHolds(current, cursor.track)) {
        if (pending != 0) {
            const CDeckPlayer& player = engine.Deck(current);
            const uint32_t frames = player.TrackFrames();
            const int position =
                frames > 0 ? static_cast<int>(static_cast<double>(player.PlayPosition()) * kSeekFull / frames)
                           : 0;
            m_core.Controls().SetValue(ControlId::DeckSeekPosition, current,
                                       std::clamp(position + pending, 0, kSeekFull - 1),
                                       Marks::ChangedAndApply);
            m_pendingSeek.fetch_sub(pending, std::memory_order_relaxed);
        }
    } else if (!engine.Loading(current)) {
        LoadItemTrack(cursor.deck >= 0 ? cursor.deck : current, cursor.track);
    }
    const int nextDeck = cursor.nextDeck;
    if (nextDeck >= 0 && nextDeck != current && !DeckHolds(nextDeck, cursor.nextTrack) &&
        !engine.Loading(current) && !engine.Loading(nextDeck))
        LoadItemTrack(nextDeck, cursor.nextTrack);
    if (SkipSilence() || LevelTracks()) {
        PrepareDeck(current, cursor.track);
        if (nextDeck >= 0 && nextDeck != current)
            PrepareDeck(nextDeck, cursor.nextTrack);
    }
}

void CAutomix::ActOnTransition() noexcept
{
    CAudioEngine& engine = m_core.Engine();
    int current = CurrentDeck();
    if (!Running() || engine.Loading(current) || m_core.FadeRamp().Active())
        return;
    const TimeLineCursor cursor = Cursor();
    const int nextDeck = cursor.nextDeck >= 0 ? cursor.nextDeck : current ^ 1;
    const double fade = FadeTime();
    switch (Transition()) {
    case kReturning:
        SetControl(ControlId::DeckStartStop, nextDeck, 0);
        m_core.Controls().SetValue(ControlId::DeckSeekPosition, nextDeck, 0, Marks::ChangedAndApply);
        SetTransition(kIdle);
        break;
    case kChangeOver:
        // The ramp has finished: the old deck stops and rewinds, the next item is current.
        SetControl(ControlId::DeckStartStop, current, 0);
        m_core.Controls().SetValue(ControlId::DeckSeekPosition, current, 0, Marks::ChangedAndApply);
        SetCurrentDeck(nextDeck);
        SetTransition(kIdle);
        SetCurrent(CurrentIndex() + 1);
        break;
    case kIdle: {
        const double remaining = engine.Deck(current).RemainingSeconds();
        if (RepeatSingle()) {
            if (remaining < kEndSeconds)
                m_core.Controls().SetValue(ControlId::DeckSeekPosition, current, 0, Marks::ChangedAndApply);
            break;
        }
        if (cursor.nextTrack < 0) {
            // The end of the list: the last track plays out whole, then the Time Line stops.
            if (remaining <= 0.0 || engine.Deck(current).EndReached()) {
                SetTransition(kChangeOver);
                StartRamp(0.0, current ^ 1);
            }
            break;
        }
        // With silence skipped, the change-over ends where the sound ends, not the file.
        const ChangeOverPlan plan =
            PlanChangeOver(fade, RemainingOfSound(current), RemainingOfSound(current ^ 1));
        if (plan.start) {
            SetTransition(kChangeOver);
            StartRamp(plan.rampSeconds, current ^ 1);
            // A pause starts the next deck only when it has been waited out.
            if (plan.rampSeconds >= 0.0)
                SetControl(ControlId::DeckStartStop, nextDeck, 1);
        }
        break;
    }
    case kNextRequested:
        StartRamp(fade < 0.0 ? 0.0 : fade, current ^ 1);
        SetTransition(kChangeOver);
        SetControl(ControlId::DeckStartStop, nextDeck, 1);
        break;
    case kPreviousRequested:
        if (CurrentIndex() == 0 || PlayedSeconds(current) > kRestartSeconds) {
            m_core.Controls().SetValue(ControlId::DeckSeekPosition, current, 0, Marks::ChangedAndApply);
            SetTransition(kIdle);
        } else {
            SetCurrent(CurrentIndex() - 1);
            if (const TimeLineItem* item = m_snapshot->Item(CurrentIndex()))
                SetCurrentDeck(item->deck ^ m_deckSwap.load(std::memory_order_relaxed));
            SetTransition(kReturning);
        }
        break;
    default:
        SetTransition(kIdle);
        break;
    }
    current = CurrentDeck();
    SetControl(ControlId::DeckStartStop, current, 1);
    if (!m_core.FadeRamp().Active())
        SetControl(ControlId::XFader, 0, current * 255);
}

void CAutomix::UpdatePosition() noexcept
{
    const TimeLineItem* item = m_snapshot->Item(CurrentIndex());
    if (item == nullptr)
        return;
    const int deck = item->deck ^ m_deckSwap.load(std::memory_order_relaxed);
    const double length = m_core.Engine().Deck(deck).LengthSeconds();
    double position = item->start;
    if (length > 0.0 && DeckHolds(deck, item->track))
        position += PlayedSeconds(deck) * item->displayLength / length;
    m_position.store(static_cast<uint32_t>(position), std::memory_order_relaxed);
}

// ---- Commands ------------------------------------------------------------------------------

void CAutomix::Next()
{
    if (m_core.PlaybackModeValue() == CPlayerCore::kDjMix) {
        m_core.Mix().SeekNextMarker();
        return;
    }
    if (!Running())
        AskForItem(CurrentIndex() + 1);
    else
        Ask(kNextAsked);
}

void CAutomix::Previous()
{
    if (m_core.PlaybackModeValue() == CPlayerCore::kDjMix) {
        m_core.Mix().SeekPreviousMarker();
        return;
    }
    if (Running()) {
        Ask(kPreviousAsked);
    } else if (PlayedSeconds(CurrentDeck()) > kRestartSeconds) {
        m_core.Controls().SetValue(ControlId::DeckSeekPosition, CurrentDeck(), 0, Marks::ChangedAndApply);
    } else {
        AskForItem(std::max(0, CurrentIndex() - 1));
    }
}

void CAutomix::SeekForward(bool coarse)
{
    if (m_core.PlaybackModeValue() == CPlayerCore::kDjMix) {
        m_core.Mix().SeekForward(coarse ? 10 : 2);
        return;
    }
    Ask(kCompleteRamp);
    m_pendingSeek.fetch_add(coarse ? 256 : 32, std::memory_order_relaxed);
}

void CAutomix::SeekBackward(bool coarse)
{
    if (m_core.PlaybackModeValue() == CPlayerCore::kDjMix) {
        m_core.Mix().SeekBackward(coarse ? 10 : 2);
        return;
    }
    Ask(kCompleteRamp);
    m_pendingSeek.fetch_sub(coarse ? 256 : 32, std::memory_order_relaxed);
}

void CAutomix::JumpTo(int index)
{
    CTimeLine& timeLine = m_core.TimeLine();
    if (m_core.PlaybackModeValue() == CPlayerCore::kDjMix) {
        if (const TimeLineItem* item = timeLine.Item(index))
            m_core.Mix().SeekTick(static_cast<uint32_t>(item->start * kTicksPerMs));
        return;
    }
    Ask(kCompleteRamp);
    SetTransition(kIdle);
    for (int deck = 0; deck < 2; ++deck) {
        m_core.Controls().SetValue(ControlId::DeckStartStop, deck, 0, Marks::ChangedAndApply);
        m_core.Controls().SetValue(ControlId::DeckSeekPosition, deck, 0, Marks::ChangedAndApply);
    }
    AskForItem(index);
    // Setting it again makes the transport start the new item.
    if (Running())
        m_core.SetRunStop(true);
}

void CAutomix::Home()
{
    if (m_core.PlaybackModeValue() == CPlayerCore::kDjMix) {
        m_core.Mix().SeekTick(0);
        return;
    }
    AskForItem(0);
    Ask(kHomeAsked);
}

void CAutomix::End()
{
    const int count = m_core.TimeLine().Count();
    if (count > 0)
        JumpTo(count - 1);
}

void CAutomix::AskForItem(int index) noexcept
{
    m_indexRequest.store(std::max(index, 0), std::memory_order_release);
    // The display shows the choice at once; the step confirms it on its next tick.
    m_core.TimeLine().SetCurrentIndex(std::max(index, 0));
}

void CAutomix::OnStart() noexcept
{
    if (m_snapshot != nullptr && CurrentIndex() >= m_snapshot->ItemCount()) {
        SetCurrent(0);
        SetCurrentDeck(0);
    }
}

void CAutomix::AddManualHold(int delta) noexcept
{
    int value = m_manualHold.load(std::memory_order_relaxed);
    while (
        !m_manualHold.compare_exchange_weak(value, std::max(0, value + delta), std::memory_order_relaxed)) {
    }
}
