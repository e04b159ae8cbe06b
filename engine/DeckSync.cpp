#include "DeckSync.h"

#include "DeckPlayer.h"
#include "Tick.h"

#include <cassert>
#include <cmath>

namespace {

// A marker at or below 0 ms counts as unset, so a loop starting at the very beginning of the
// track is placed just after it.
constexpr double kTrackStartMs = 1e-12;
constexpr int kShortLoopValue = 254;
constexpr double kShortLoopMs = 200.0;
constexpr int kWholeTrackValue = 255;
// The whole-track loop ends this far before the end, so the deck jumps back before it runs out.
constexpr double kWholeTrackEndMarginMs = 4.0;
// Slack past the current loop end within which the position still counts as inside the loop.
constexpr double kInsideLoopSlackMs = 10.0;

// Brings a phase difference into -0.5 .. +0.5 beats; both terms already lie in that range.
float WrapOnce(float phase) noexcept
{
    if (phase > 0.5f)
        return phase - 1.0f;
    if (phase < -0.5f)
        return phase + 1.0f;
    return phase;
}

} // namespace

bool CDeckSync::IsReliable(const CDeckPlayer& deck) noexcept
{
    return deck.BpmQuality() > kReliableQuality;
}

void CDeckSync::Step(CDeckPlayer& deckA, CDeckPlayer& deckB, const SyncInputs& inputs,
                     SyncOutputs& outputs) noexcept
{
    const std::array<CDeckPlayer*, 2> decks{&deckA, &deckB};
    outputs = {};
    for (int d = 0; d < 2; ++d)
        m_reliable[d] = IsReliable(*decks[d]);

    if (inputs.replayRunning || !m_reliable[0] || !m_reliable[1]) {
        m_phaseError = {};
        // A nudge left from the last synced tick would keep a deck running off speed for as long
        // as sync stays off.
        if (m_syncing) {
            for (CDeckPlayer* deck : decks)
                deck->SetNudge(0.0f);
            m_syncing = false;
        }
        return;
    }
    m_syncing = true;

    const int master = inputs.xFader > 127 ? 1 : 0;
    CDeckPlayer& lead = *decks[master];
    m_masterBpm = lead.CurrentBpm();
    if (inputs.playing[master] && inputs.scratchOn[master] == 0) {
        m_masterPhase = lead.PhaseOffset();
    } else {
        // A stopped or scratched leader gives no usable phase; the beat runs on at its tempo so
        // that a synced deck keeps its place in the bar.
        double phase = m_masterPhase + kTickMs * m_masterBpm / 60000.0;
        if (!std::isfinite(phase))
            phase = 0.0;
        else if (phase > 0.5)
            phase -= std::ceil(phase - 0.5); // lowered by whole beats until at most 0.5
        m_masterPhase = static_cast<float>(phase);
    }

    for (int d = 0; d < 2; ++d) {
        if (inputs.bpmSync[d] && decks[d]->SetTempoFromBpm(m_masterBpm) != 0) {
            outputs.pitchChanged[d] = true;
            outputs.pitchValue[d] = CDeckPlayer::ControlFromTempo(decks[d]->Tempo());
        }
    }

    for (int d = 0; d < 2; ++d) {
        const bool running = inputs.playing[d] && inputs.scratchOn[d] == 0 && m_reliable[d];
        m_phaseError[d] = running ? WrapOnce(decks[d]->PhaseOffset() - m_masterPhase) : 0.0f;
    }

    // Mode 1 corrects by twice the error (a quarter beat off plays 0.5 slower or faster); mode 2
    // by the error alone, settling half as fast with half the pitch wobble. A reversed deck
    // moves the other way, so its correction does too.
    const float gain = inputs.phaseSyncMode == 1 ? -2.0f : inputs.phaseSyncMode == 2 ? -1.0f : 0.0f;
    for (int d = 0; d < 2; ++d) {
        const float nudge = gain * m_phaseError[d];
        decks[d]->SetNudge(inputs.reverse[d] ? -nudge : nudge);
    }
}

void CDeckSync::BeatLoopStep(CDeckPlayer& deck, int deckIndex, int value, const BeatLoopInputs& inputs,
                             BeatLoopOutputs& outputs) noexcept
{
    assert(deckIndex == 0 || deckIndex == 1);
    const int d = deckIndex & 1;
    outputs = {};
    const bool changed = value != m_beatLoopValue[d];
    m_beatLoopValue[d] = value;
    if (value == 0 || inputs.replayRunning)
        return;

    if (!inputs.cueLoopOn) {
        const double position = deck.PositionMs(true);
        deck.SetMarker(3, position > 0.0 ? position : kTrackStartMs);
        outputs.cueLoopSwitchedOn = true;
    }
    double start = deck.GetMarker(3);
    double end = 0.0;
    if (value == kShortLoopValue) {
        end = start + kShortLoopMs;
    } else if (value == kWholeTrackValue) {
        start = kTrackStartMs;
        deck.SetMarker(3, start);
        end = deck.LengthSeconds() * 1000.0 - kWholeTrackEndMarginMs;
    } else {
        const float bpm = deck.TrackBpm();
        // Without a tempo to measure by, an end before the start makes an empty loop, which the
        // deck does not play.
        if (IsReliable(deck) && bpm > 0.0f)
            end = start + 60.0 / bpm * value * 500.0; // value counts half-beats
        else
            end = start - 1.0;
    }

    if (m_beatLoopPending[d] || changed) {
        // Moving the end in front of a position that has already passed it would let the deck
        // run on out of the loop; the new end waits until the loop has brought it back.
        const double position = deck.PositionMs(false);
        if (start <= position && position <= deck.GetMarker(4) + kInsideLoopSlackMs && position > end) {
            m_beatLoopPending[d] = true;
            return;
        }
        m_beatLoopPending[d] = false;
    }
    deck.SetMarker(4, end);
}
