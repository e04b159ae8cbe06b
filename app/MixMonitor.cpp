#include "MixMonitor.h"

#include "ControlTable.h"

namespace {

constexpr int32_t kNeutralLevel = 128; // EQ bands, pitch bend and wind at rest
constexpr int32_t kNeutralPitch = 2048;

} // namespace

void CMixMonitor::Update(const CControlTable& controls) noexcept
{
    const int32_t xFader = controls.GetValue(ControlId::XFader, 0);
    // A deck counts as heard while its share of the cross-fader and its volume together are
    // more than one step of 256.
    m_audible[0].store(controls.GetValue(ControlId::DeckVolume, 0) * (255 - xFader) > 256,
                       std::memory_order_relaxed);
    m_audible[1].store(xFader * controls.GetValue(ControlId::DeckVolume, 1) > 256, std::memory_order_relaxed);
    for (int deck = 0; deck < 2; ++deck) {
        const auto value = [&](int32_t id) { return controls.GetValue(id, deck); };
        uint32_t seen = 0;
        const auto see = [&](Lamp lamp, bool active) {
            if (active)
                seen |= 1u << lamp;
        };
        see(kCueing, value(ControlId::DeckPfl) != 0);
        see(kEqualizer,
            value(ControlId::DeckEqLow) != kNeutralLevel || value(ControlId::DeckEqMid) != kNeutralLevel ||
                value(ControlId::DeckEqHigh) != kNeutralLevel || value(ControlId::DeckEqLowKill) != 0 ||
                value(ControlId::DeckEqMidKill) != 0 || value(ControlId::DeckEqHighKill) != 0);
        see(kFiltering, value(ControlId::DeckBpActive) != 0);
        see(kLooping, value(ControlId::DeckCueLoop) != 0);
        // A volume at rest is no activity: the lamp shows the fader being moved.
        const int32_t volume = value(ControlId::DeckVolume);
        see(kVolume, m_lastVolume[deck] >= 0 && volume != m_lastVolume[deck]);
        m_lastVolume[deck] = volume;
        see(kPitchBend,
            value(ControlId::DeckPitchBend) != kNeutralLevel || value(ControlId::DeckWind) != kNeutralLevel);
        see(kPitchShift, value(ControlId::DeckPitch) != kNeutralPitch);
        see(kReverse, value(ControlId::DeckReverse) != 0);
        see(kScratching, value(ControlId::DeckScratchOn) != 0);
        if (seen != 0)
            m_activity[deck].fetch_or(seen, std::memory_order_relaxed);
        AtomicValues& shown = m_values[deck];
        shown.cueLoop.store(value(ControlId::DeckCueLoop), std::memory_order_relaxed);
        shown.reverse.store(value(ControlId::DeckReverse), std::memory_order_relaxed);
        shown.pitch.store(value(ControlId::DeckPitch), std::memory_order_relaxed);
        shown.pitchShown.store(value(ControlId::DeckPitch), std::memory_order_relaxed);
        shown.scratch.store(value(ControlId::DeckScratch), std::memory_order_relaxed);
    }
}

uint32_t CMixMonitor::TakeActivity(int deck) noexcept
{
    return m_activity[deck & 1].exchange(0, std::memory_order_relaxed);
}

CMixMonitor::DeckValues CMixMonitor::Values(int deck) const noexcept
{
    const AtomicValues& shown = m_values[deck & 1];
    DeckValues values;
    values.cueLoop = shown.cueLoop.load(std::memory_order_relaxed);
    values.reverse = shown.reverse.load(std::memory_order_relaxed);
    values.pitch = shown.pitch.load(std::memory_order_relaxed);
    values.pitchShown = shown.pitchShown.load(std::memory_order_relaxed);
    values.scratch = shown.scratch.load(std::memory_order_relaxed);
    return values;
}
