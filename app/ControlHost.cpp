#include "ControlHost.h"

#include "AudioBus.h"
#include "AudioEngine.h"
#include "MixerDsp.h"

#include <algorithm>
#include <cmath>

namespace {

// Per-deck functions that go straight to a mixer parameter (Deck A's number; Deck B's is one
// more), in the order they are applied.
struct MixerLink {
    int32_t id;
    int param;
};
constexpr MixerLink kDeckMixerLinks[] = {
    {ControlId::DeckEqLow, CMixerDsp::DeckEqLow},
    {ControlId::DeckEqLowKill, CMixerDsp::DeckEqLowKill},
    {ControlId::DeckEqMid, CMixerDsp::DeckEqMid},
    {ControlId::DeckEqMidKill, CMixerDsp::DeckEqMidKill},
    {ControlId::DeckEqHigh, CMixerDsp::DeckEqHigh},
    {ControlId::DeckEqHighKill, CMixerDsp::DeckEqHighKill},
    {ControlId::DeckBpNotchMode, CMixerDsp::DeckBpNotchMode},
    {ControlId::DeckBpActive, CMixerDsp::DeckBpActive},
    {ControlId::DeckBpCenter, CMixerDsp::DeckBpCenter},
    {ControlId::DeckBpWidth, CMixerDsp::DeckBpWidth},
    {ControlId::DeckBpResonance, CMixerDsp::DeckBpResonance},
    {ControlId::DeckPunchIn, CMixerDsp::DeckPunchIn},
    {ControlId::DeckMute, CMixerDsp::DeckMute},
    {ControlId::DeckPfl, CMixerDsp::DeckPfl},
};

// Global functions in the order they are applied; X-Fader Mode comes before the cross-fader so
// a new curve applies to the position set in the same tick.
constexpr MixerLink kGlobalMixerLinks[] = {
    {ControlId::MasterVolume, CMixerDsp::MasterVolume},
    {ControlId::MasterLimiter, CMixerDsp::MasterLimiter},
    {ControlId::AutoLevelDecks, CMixerDsp::AutoLevelDecks},
    {ControlId::MonitorVolume, CMixerDsp::MonitorVolume},
    {ControlId::MonitorOutputMode, CMixerDsp::MonitorOutputMode},
    {ControlId::MonitorXFader, CMixerDsp::MonitorXFader},
    {ControlId::XFaderMode, CMixerDsp::XFaderMode},
    {ControlId::XFader, CMixerDsp::XFader},
};

constexpr double kSkipSeconds = 0.25;
constexpr int32_t kScratchRest = 32768;

} // namespace

CControlHost::CControlHost() : m_engine(std::make_unique<CAudioEngine>())
{
}

CControlHost::~CControlHost() = default;

void CControlHost::Start(uint8_t& flags)
{
    m_engine->Start(flags);
}

void CControlHost::Stop(uint8_t& flags)
{
    m_engine->Stop(flags);
}

void CControlHost::WriteBack(int32_t id, int channel, int32_t expected, int32_t value) noexcept
{
    if (CControlFunction* function = m_controls.FindFunction(id))
        function->CompareAndSet(channel, expected, value, Marks::Changed);
}

bool CControlHost::Pending(int32_t id, int channel) noexcept
{
    CControlFunction* function = m_controls.FindFunction(id);
    return function != nullptr && function->TakeApplyPending(channel);
}

int CControlHost::Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick,
                         uint16_t tickCount) noexcept
{
    for (int deck = 0; deck < 2; ++deck)
        m_engine->Deck(deck).LatchClock();
    CopyAutoLevels();
    const double tickMs = bus.TickDurationMs();
    for (uint16_t i = 0; i < tickCount; ++i) {
        ScheduleTimeLine();
        ReplayMixTick();
        ApplyControls(tickMs);
        TickApplied();
        UpdateMixMonitorFlags();
        m_engine->Render(record, bus, static_cast<uint16_t>(firstTick + i), 1);
    }
    for (int deck = 0; deck < 2; ++deck)
        m_engine->Deck(deck).RecordClock(tickCount * tickMs);
    return 1;
}

void CControlHost::CopyAutoLevels() noexcept
{
    if (Value(ControlId::AutoLevelDecks, 0) == 0)
        return;
    for (int deck = 0; deck < 2; ++deck) {
        const auto volume = static_cast<int32_t>(std::lround(m_engine->Mixer().AutoLevelGain(deck) * 255.0f));
        if (volume != Value(ControlId::DeckVolume, deck))
            m_controls.SetValue(ControlId::DeckVolume, deck, volume, Marks::ChangedAndApply);
    }
}

void CControlHost::CompleteFade() noexcept
{
    m_fadeRamp.Complete();
    m_controls.SetValue(ControlId::XFader, 0, m_fadeRamp.Target(), Marks::ChangedAndApply);
}

void CControlHost::ApplyControls(double elapsedMs) noexcept
{
    if (m_fadeRamp.Advance(elapsedMs))
        m_controls.SetValue(ControlId::XFader, 0, static_cast<int32_t>(m_fadeRamp.Value()),
                            Marks::ChangedAndApply);

    if (Pending(ControlId::RunStop, 0)) {
        const int32_t asked = Value(ControlId::RunStop, 0);
        WriteBack(ControlId::RunStop, 0, asked, OnRunStop(asked));
    }

    ApplyGlobals();
    for (int deck = 0; deck < 2; ++deck)
        ApplyTransport(deck);
    ApplySync(elapsedMs);
    for (int deck = 0; deck < 2; ++deck)
        ApplyDeckSettings(deck);
    for (int deck = 0; deck < 2; ++deck)
        ApplyBeatLoop(deck);
    for (int deck = 0; deck < 2; ++deck)
        ApplyDeckMotion(deck);
}

void CControlHost::ApplyGlobals() noexcept
{
    for (const MixerLink& link : kGlobalMixerLinks) {
        if (link.id == ControlId::XFaderMode && AutomixMode()) {
            // Automix always fades with the equal-power curve; the pending bit stays, so the
            // user's curve comes back when Automix ends.
            m_engine->SetMixerControl(link.param, 1);
            continue;
        }
        if (Pending(link.id, 0))
            m_engine->SetMixerControl(link.param, Value(link.id, 0));
    }
}

void CControlHost::ApplyTransport(int deck) noexcept
{
    CDeckPlayer& player = m_engine->Deck(deck);
    if (Pending(ControlId::DeckStartStop, deck)) {
        if (Value(ControlId::DeckStartStop, deck) != 0)
            player.Play();
        else
            player.Pause();
    }
    const double length = player.LengthSeconds();
    // Read before the pending bit: a value stored after this read is the user's and must stay.
    const int32_t current = Value(ControlId::DeckSeekPosition, deck);
    if (Pending(ControlId::DeckSeekPosition, deck)) {
        player.SeekSeconds(length * Value(ControlId::DeckSeekPosition, deck) / 4096.0);
    } else {
        // Not being moved: the control follows the deck.
        const int32_t shown =
            length > 0.0
                ? std::min<int32_t>(static_cast<int32_t>(player.CoarseSeconds() * 4096.0 / length), 4096)
                : 0;
        if (shown != current)
            WriteBack(ControlId::DeckSeekPosition, deck, current, shown);
    }
}

void CControlHost::ApplySync(double /*elapsedMs*/) noexcept
{
    SyncInputs inputs;
    inputs.xFader = Value(ControlId::XFader, 0);
    inputs.replayRunning = MixReplayRunning();
    inputs.phaseSyncMode = Value(ControlId::PhaseSyncDecks, 0);
    for (int deck = 0; deck < 2; ++deck) {
        inputs.playing[deck] = Value(ControlId::DeckStartStop, deck) != 0;
        inputs.scratchOn[deck] = Value(ControlId::DeckScratchOn, deck);
        inputs.bpmSync[deck] = Value(ControlId::DeckBpmSync, deck) != 0;
        inputs.reverse[deck] = Value(ControlId::DeckReverse, deck) != 0;
    }
    SyncOutputs outputs;
    m_sync.Step(m_engine->Deck(0), m_engine->Deck(1), inputs, outputs);
    for (int deck = 0; deck < 2; ++deck) {
        // Shown only: the deck already runs at the synced tempo.
        if (outputs.pitchChanged[deck])
            m_controls.SetValue(ControlId::DeckPitch, deck, outputs.pitchValue[deck], Marks::Changed);
    }
}

void CControlHost::ApplyDeckSettings(int deck) noexcept
{
    CDeckPlayer& player = m_engine->Deck(deck);
    if (Pending(ControlId::DeckPitch, deck))
        player.SetTempo(CDeckPlayer::TempoFromControl(Value(ControlId::DeckPitch, deck)));
    if (Pending(ControlId::DeckPitchBend, deck))
        player.SetPitchBend(CDeckPlayer::PitchBendFromControl(Value(ControlId::DeckPitchBend, deck)));
    // While the mixer levels the decks itself, the control only shows its result.
    if (Pending(ControlId::DeckVolume, deck) && Value(ControlId::AutoLevelDecks, 0) == 0)
        m_engine->SetMixerControl(CMixerDsp::DeckVolume + deck, Value(ControlId::DeckVolume, deck));
    for (const MixerLink& link : kDeckMixerLinks) {
        if (Pending(link.id, deck))
            m_engine->SetMixerControl(link.param + deck, Value(link.id, deck));
    }

    // One-shot functions act on the value they find and then return to 0, unless a new press
    // arrived meanwhile: that one is applied on the next tick.
    if (Pending(ControlId::DeckSkipForward, deck)) {
        const int32_t forward = Value(ControlId::DeckSkipForward, deck);
        if (forward == 1) {
            const double target = player.CoarseSeconds() + kSkipSeconds;
            if (target < player.LengthSeconds())
                player.SeekSeconds(target);
        }
        WriteBack(ControlId::DeckSkipForward, deck, forward, 0);
    }
    if (Pending(ControlId::DeckSkipBackward, deck)) {
        const int32_t backward = Value(ControlId::DeckSkipBackward, deck);
        if (backward == 1)
            player.SeekSeconds(std::max(player.CoarseSeconds() - kSkipSeconds, 0.0));
        WriteBack(ControlId::DeckSkipBackward, deck, backward, 0);
    }
    if (Pending(ControlId::DeckJumpToCue, deck)) {
        const int32_t k = Value(ControlId::DeckJumpToCue, deck);
        // 1..5 name the five cue points; 6 names none, and goes back to the start of the track.
        if (k >= 1 && k <= CDeckPlayer::kMarkers)
            player.JumpToMarker(k - 1, 0.0);
        else if (k == CDeckPlayer::kMarkers + 1)
            player.SeekFrames(0);
        WriteBack(ControlId::DeckJumpToCue, deck, k, 0);
    }
    if (Pending(ControlId::DeckSetCue, deck)) {
        const int32_t k = Value(ControlId::DeckSetCue, deck);
        // Stores where the deck is audible now as cue point k - 1; 6 names no cue point.
        if (k >= 1 && k <= CDeckPlayer::kMarkers && player.Loaded())
            player.SetMarker(k - 1, std::max(player.PositionMs(true), 1e-12));
        WriteBack(ControlId::DeckSetCue, deck, k, 0);
    }
}

void CControlHost::ApplyBeatLoop(int deck) noexcept
{
    BeatLoopInputs inputs;
    inputs.cueLoopOn = Value(ControlId::DeckCueLoop, deck) != 0;
    inputs.replayRunning = MixReplayRunning();
    BeatLoopOutputs outputs;
    m_sync.BeatLoopStep(m_engine->Deck(deck), deck, Value(ControlId::DeckCueSetBeatLoop, deck), inputs,
                        outputs);
    if (outputs.cueLoopSwitchedOn)
        m_controls.SetValue(ControlId::DeckCueLoop, deck, 1, Marks::ChangedAndApply);
}

void CControlHost::ApplyDeckMotion(int deck) noexcept
{
    CDeckPlayer& player = m_engine->Deck(deck);
    if (Pending(ControlId::DeckCueLoop, deck))
        player.SetLoopActive(Value(ControlId::DeckCueLoop, deck) != 0);
    if (Pending(ControlId::DeckReverse, deck))
        player.SetReverse(Value(ControlId::DeckReverse, deck) != 0);
    if (Pending(ControlId::DeckScratchOn, deck))
        player.SetScratchMode(Value(ControlId::DeckScratchOn, deck));
    if (Pending(ControlId::DeckScratch, deck)) {
        // Relative: each movement is passed once, then the control rests again.
        const int32_t movement = Value(ControlId::DeckScratch, deck);
        player.ScratchInput(static_cast<float>(movement - kScratchRest));
        WriteBack(ControlId::DeckScratch, deck, movement, kScratchRest);
    }
    if (Pending(ControlId::DeckWind, deck))
        player.SetWind(CDeckPlayer::WindFromControl(Value(ControlId::DeckWind, deck)));
}

void CControlHost::LoadTrackToDeck(int deck, const char* path, int entryId)
{
    deck &= 1;
    if (path == nullptr) {
        m_engine->UnloadTrack(deck);
        return;
    }
    m_controls.ResetDeckFunctions(deck);
    m_engine->LoadTrack(deck, path, entryId, 0.0f, 0.0f, false);
}
