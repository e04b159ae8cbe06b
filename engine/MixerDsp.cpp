#include "MixerDsp.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kTiny = 1e-12f; // keeps decaying state out of denormals
constexpr float kDcCoefficient = 0.0014f;
constexpr float kEqStage1 = 0.075f;
constexpr float kEqStage2 = 0.15f;
constexpr float kRampStep = 1.0f / CMixerDsp::kRampFrames;
constexpr int kCurveTop = CMixerTables::kCurve - 1; // 259

int Round(float x) noexcept
{
    return static_cast<int>(std::lround(x));
}

float Clamp01(float x) noexcept
{
    return std::clamp(x, 0.0f, 1.0f);
}

} // namespace

CMixerDsp::CMixerDsp()
{
    for (auto& reading : m_readings)
        reading.store(0.0f, std::memory_order_relaxed);
    for (auto& gain : m_autoGains)
        gain.store(0.0f, std::memory_order_relaxed);
    // The equaliser starts flat; every other gain stays 0 until its parameter is first set.
    for (int deck = 0; deck < 2; ++deck) {
        m_ramps[RampEqLowA + deck].current = m_ramps[RampEqLowA + deck].target = 1.0f;
        m_ramps[RampEqMidA + deck].current = m_ramps[RampEqMidA + deck].target = 2.0f;
        m_ramps[RampEqHighA + deck].current = m_ramps[RampEqHighA + deck].target = 1.0f;
        Deck& d = m_decks[deck];
        SetResonance(d, 0.1f);
        SetFilterNote(d.filter1, d.centre, d);
        SetFilterNote(d.filter2, d.centre + d.width, d);
    }
}

float CMixerDsp::ValueFromControl(int number, int controlValue) noexcept
{
    const auto fader = [&] { return static_cast<float>(std::clamp(controlValue, 0, 255)) / 255.0f; };
    const auto onOff = [&] { return controlValue != 0 ? 1.0f : 0.0f; };
    switch (number) {
    case MasterLimiter:
    case DeckPfl:
    case DeckPfl + 1:
    case DeckMute:
    case DeckMute + 1:
    case DeckEqLowKill:
    case DeckEqLowKill + 1:
    case DeckEqMidKill:
    case DeckEqMidKill + 1:
    case DeckEqHighKill:
    case DeckEqHighKill + 1:
    case DeckBpActive:
    case DeckBpActive + 1:
    case DeckBpNotchMode:
    case DeckBpNotchMode + 1:
    case AutoLevelDecks:
    case ClearDeckStates:
    case ClearDeckStates + 1:
        return onOff();
    case MonitorOutputMode:
        // Control 0 monitors the main mix, 1 splits main and cue, 2 is the cue mix.
        return controlValue == 0 ? 1.0f : (controlValue == 1 ? 2.0f : 0.0f);
    case DeckPunchIn:
    case DeckPunchIn + 1:
        return static_cast<float>(std::clamp(controlValue, 0, 2));
    case XFaderMode:
        return controlValue == 1 ? 1.0f : 0.0f;
    default:
        return fader();
    }
}

// ---- Parameters ---------------------------------------------------------------------------

void CMixerDsp::StartRamp() noexcept
{
    for (Ramp& ramp : m_ramps) {
        ramp.increment = (ramp.target - ramp.current) * kRampStep;
        if (std::fabs(ramp.increment) < kTiny) {
            ramp.current = ramp.target;
            ramp.increment = 0.0f;
        }
    }
    m_rampCounter = kRampFrames;
}

void CMixerDsp::UpdateMainTarget(int deck) noexcept
{
    const Deck& d = m_decks[deck];
    SetTarget(RampMainA + deck, d.fade * d.mute * d.punch);
}

void CMixerDsp::SetCrossFader(float x, bool monitor) noexcept
{
    float fadeA = 1.0f;
    float fadeB = 1.0f;
    if (!m_xFaderMode) {
        // Raised cosine over each half: both decks stay full in the middle.
        if (x < 0.5f)
            fadeB = m_tables.Cosine(Round(x * 518.0f));
        else
            fadeA = m_tables.Cosine(Round((1.0f - x) * 518.0f));
    } else {
        // Equal power: about 0.708 each in the middle.
        fadeA = m_tables.SquareRoot(Round((1.0f - x) * kCurveTop));
        fadeB = m_tables.SquareRoot(Round(x * kCurveTop));
    }
    if (monitor) {
        m_decks[0].monitorFade = fadeA;
        m_decks[1].monitorFade = fadeB;
        SetTarget(RampMonitorFadeA, fadeA);
        SetTarget(RampMonitorFadeB, fadeB);
    } else {
        m_decks[0].fade = fadeA;
        m_decks[1].fade = fadeB;
        UpdateMainTarget(0);
        UpdateMainTarget(1);
    }
}

void CMixerDsp::UpdateCoefficients(FilterSetting& filter, const Deck& deck) noexcept
{
    filter.frequency = m_tables.Frequency(deck.row, deck.rowFraction, filter.column, filter.columnFraction);
    filter.damping = m_tables.Damping(deck.row, deck.rowFraction, filter.column, filter.columnFraction);
}

void CMixerDsp::SetFilterNote(FilterSetting& filter, float note, const Deck& deck) noexcept
{
    filter.note = note;
    // 8.1758 Hz x 2^(note / 12), as a share of the sample rate in twentieths (the table columns).
    const float hz = m_tables.Exp(5.0 * note + 1381.88158);
    const float x = hz / 44100.0f * 20.0f;
    const int column = Round(x);
    if (column < 10) {
        filter.column = column;
        filter.columnFraction = x - static_cast<float>(column);
    } else {
        filter.column = 9;
        filter.columnFraction = 1.0f;
    }
    UpdateCoefficients(filter, deck);
}

void CMixerDsp::SetResonance(Deck& deck, float resonance) noexcept
{
    const float y = 10.0f * resonance;
    const int row = Round(y);
    if (row > 9) {
        deck.row = 9;
        deck.rowFraction = 1.0f;
    } else if (row < 0) {
        deck.row = 0;
        deck.rowFraction = 0.0f;
    } else {
        deck.row = row;
        deck.rowFraction = y - static_cast<float>(row);
    }
    UpdateCoefficients(deck.filter1, deck);
    UpdateCoefficients(deck.filter2, deck);
}

void CMixerDsp::SetEqBand(int deck, int band, float level) noexcept
{
    // -12 dB at 0, 0 dB at the middle, +6 dB at the top. The signal passes both crossover
    // stages and each applies the band's gain, so each takes half the decibels: the full gain
    // applied twice would double the range to about -21 .. +12 dB in the band.
    const float db = level < 0.5f ? 24.0f * level - 12.0f : 12.0f * level - 6.0f;
    float gain = m_tables.Exp(db * 0.5 * 9.96578428466 + 1200.0); // 10^(db / 40)
    if (band == 1)
        gain *= 2.0f; // the mid band is carried doubled: 2.0 passes it at unity
    Deck& d = m_decks[deck];
    d.eqGain[band] = gain;
    // While the band is killed a new level is only remembered for the release.
    if (!d.eqKill[band])
        SetTarget(RampEqLowA + 2 * band + deck, gain);
}

void CMixerDsp::SetEqKill(int deck, int band, bool kill) noexcept
{
    Deck& d = m_decks[deck];
    d.eqKill[band] = kill;
    SetTarget(RampEqLowA + 2 * band + deck, kill ? 0.0f : d.eqGain[band]);
}

void CMixerDsp::ClearDeck(int deck) noexcept
{
    for (int c = 2 * deck; c < 2 * deck + 2; ++c)
        m_channels[c] = Channel{};
}

void CMixerDsp::SetParam(int number, float value) noexcept
{
    if (number < 0 || number >= kParams || !std::isfinite(value))
        return;
    const float x = Clamp01(value);
    const int deck = number >= DeckVolume && number < AutoLevelDecks ? (number - DeckVolume) % 2 : 0;
    Deck& d = m_decks[deck];
    const int base = number - deck; // the deck A number of a per-deck parameter
    switch (number < DeckVolume || number >= AutoLevelDecks ? number : base) {
    case XFader:
        SetCrossFader(x, false);
        break;
    case MasterVolume:
        SetTarget(RampMaster, m_tables.Volume(Round(x * kCurveTop)));
        break;
    case MasterLimiter:
        m_limiterFlag = value > 0.0f;
        return;
    case MonitorVolume:
        SetTarget(RampMonitorVolume, m_tables.Volume(Round(x * kCurveTop)));
        break;
    case MonitorXFader:
        SetCrossFader(x, true);
        break;
    case MonitorOutputMode:
        m_monitorMode = value > 1.0f ? 2 : (value > 0.0f ? 1 : 0);
        return;
    case DeckVolume:
        SetTarget(RampDeckVolumeA + deck, m_tables.Volume(Round(x * kCurveTop)));
        break;
    case DeckPfl:
        d.pfl = value > 0.0f;
        return;
    case DeckMute:
        d.mute = value > 0.0f ? 0.0f : 1.0f;
        UpdateMainTarget(deck);
        break;
    case DeckPunchIn:
        // Punch-in opens the deck at once whatever the cross-fader says; the next fader or mute
        // change goes back to fade x mute x punch.
        if (value > 1.0f) {
            d.punch = 2.0f;
            SetTarget(RampMainA + deck, 2.0f);
        } else if (value > 0.0f) {
            d.punch = 1.0f;
            SetTarget(RampMainA + deck, 1.0f);
        } else {
            d.punch = 1.0f;
            SetTarget(RampMainA + deck, d.fade * d.mute);
        }
        break;
    case DeckEqLow:
    case DeckEqMid:
    case DeckEqHigh:
        SetEqBand(deck, (base - DeckEqLow) / 4, x);
        break;
    case DeckEqLowKill:
    case DeckEqMidKill:
    case DeckEqHighKill:
        SetEqKill(deck, (base - DeckEqLowKill) / 4, value > 0.0f);
        break;
    case DeckBpCenter:
        d.centre = 20.0f + 120.0f * x;
        SetFilterNote(d.filter1, d.centre, d);
        SetFilterNote(d.filter2, d.centre + d.width, d);
        return;
    case DeckBpWidth:
        d.width = 1.0f + 119.0f * x;
        SetFilterNote(d.filter2, d.centre + d.width, d);
        return;
    case DeckBpResonance:
        SetResonance(d, 0.1f + 0.78f * x);
        return;
    case DeckBpActive:
        if (value > 0.0f)
            d.mode = std::fabs(d.mode);
        else
            d.mode = -std::fabs(d.mode);
        return;
    case DeckBpNotchMode: {
        const float sign = d.mode < 0.0f ? -1.0f : 1.0f;
        d.mode = sign * (value > 0.0f ? 2.0f : 1.0f);
        return;
    }
    case AutoLevelDecks:
        m_autoLevel = value > 0.0f;
        return;
    case XFaderMode:
        m_xFaderMode = value > 0.0f;
        return;
    case ClearDeckStates:
    case ClearDeckStates + 1:
        ClearDeck(number - ClearDeckStates);
        return;
    default:
        return;
    }
    StartRamp();
}

// ---- Processing ---------------------------------------------------------------------------

float CMixerDsp::FilterSample(Channel& channel, const Deck& deck, float input) noexcept
{
    // One state-variable section: returns its high-pass output; low and band are its states.
    const auto run = [](Section& s, const FilterSetting& f, float in) noexcept {
        const float high = in - s.low - f.damping * s.band;
        s.band += f.frequency * high;
        s.low += f.frequency * s.band + kTiny;
        return high;
    };
    auto& s = channel.sections;
    if (deck.mode == 1.0f) {
        // Band-pass: high-pass twice at the centre, then low-pass twice at centre + width.
        const float high = run(s[1], deck.filter1, run(s[0], deck.filter1, input));
        run(s[2], deck.filter2, high);
        run(s[3], deck.filter2, s[2].low);
        return s[3].low;
    }
    if (deck.mode == 2.0f) {
        // Notch: low-pass twice at the centre plus high-pass twice at centre + width.
        run(s[0], deck.filter1, input);
        run(s[1], deck.filter1, s[0].low);
        const float high = run(s[3], deck.filter2, run(s[2], deck.filter2, input));
        return s[1].low + high;
    }
    return input;
}

float CMixerDsp::EqSample(Channel& channel, int deck, float input) noexcept
{
    const float low = m_ramps[RampEqLowA + deck].current;
    const float mid = m_ramps[RampEqMidA + deck].current; // doubled: 2.0 is unity
    const float high = m_ramps[RampEqHighA + deck].current;
    auto& s = channel.eq;
    // Two crossovers in series; at unity gains each adds its three bands back to its input.
    const float high1 = input - 2.0f * s[0] - s[1];
    const float y = high1 * high + s[0] * mid + s[1] * low;
    s[0] += kEqStage1 * high1;
    s[1] += kEqStage1 * s[0] + kTiny;
    const float high2 = y - 2.0f * s[2] - s[3];
    const float out = s[3] * low + s[2] * mid + high2 * high;
    s[2] += kEqStage2 * high2;
    s[3] += kEqStage2 * s[2] + kTiny;
    return out;
}

void CMixerDsp::Process(const std::array<const float*, kInputs>& inputs,
                        const std::array<float*, kOutputs>& outputs, uint32_t frames) noexcept
{
    for (uint32_t i = 0; i < frames; ++i) {
        if (m_rampCounter > 0) {
            for (Ramp& ramp : m_ramps)
                ramp.current += ramp.increment;
            if (--m_rampCounter == 0) {
                // Land exactly: 250 float additions drift by a few ulps.
                for (Ramp& ramp : m_ramps)
                    ramp.current = ramp.target;
            }
        }
        std::array<float, 4> x;
        for (int c = 0; c < 4; ++c) {
            const int deck = c / 2;
            Channel& channel = m_channels[c];
            // DC blocker: a first-order high-pass around 10 Hz.
            const float d = inputs[c][i] - channel.dc;
            channel.dc += kDcCoefficient * d + kTiny;
            const float filtered = FilterSample(channel, m_decks[deck], d);
            x[c] = EqSample(channel, deck, filtered);
        }
        for (int deck = 0; deck < 2; ++deck) {
            Deck& d = m_decks[deck];
            const float left = x[2 * deck];
            const float right = x[2 * deck + 1];
            d.preFaderPeak = std::fmax(d.preFaderPeak, std::fmax(std::fabs(left), std::fabs(right)));
            const float volume = m_ramps[RampDeckVolumeA + deck].current;
            x[2 * deck] = left * volume;
            x[2 * deck + 1] = right * volume;
            d.peak = std::fmax(d.peak, std::fmax(std::fabs(x[2 * deck]), std::fabs(x[2 * deck + 1])));
        }
        const float mainA = m_ramps[RampMainA].current;
        const float mainB = m_ramps[RampMainB].current;
        const float master = m_ramps[RampMaster].current;
        for (int side = 0; side < 2; ++side) {
            const float mix = (x[side] * mainA + x[2 + side] * mainB) * master;
            const float out = m_limiters[side].Process(mix);
            outputs[side][i] = out;
            m_masterPeak = std::fmax(m_masterPeak, std::fabs(out));
        }
        const float monitorVolume = m_ramps[RampMonitorVolume].current;
        const float fadeA = m_ramps[RampMonitorFadeA].current;
        const float fadeB = m_ramps[RampMonitorFadeB].current;
        float monitorLeft = 0.0f;
        float monitorRight = 0.0f;
        switch (m_monitorMode) {
        case 0: // cue mix
            monitorLeft = x[0] * fadeA + x[2] * fadeB;
            monitorRight = x[1] * fadeA + x[3] * fadeB;
            break;
        case 1: // main mix
            monitorLeft = x[0] * mainA + x[2] * mainB;
            monitorRight = x[1] * mainA + x[3] * mainB;
            break;
        default: // split: main mix (mono) left, cue mix (mono) right
            monitorLeft = (x[0] + x[1]) * mainA + (x[2] + x[3]) * mainB;
            monitorRight = (x[0] + x[1]) * fadeA + (x[2] + x[3]) * fadeB;
            break;
        }
        outputs[2][i] = std::clamp(monitorLeft * monitorVolume, -1.0f, 1.0f);
        outputs[3][i] = std::clamp(monitorRight * monitorVolume, -1.0f, 1.0f);

        if (--m_periodCounter == 0) {
            PeriodStep();
            m_periodCounter = kPeriodFrames;
        }
    }
    PublishReadings();
}

float CMixerDsp::MeterOfPeak(float peak) const noexcept
{
    return peak > 2.0f ? m_tables.Meter(kCurveTop) : m_tables.Meter(Round(peak * 0.5f * kCurveTop));
}

void CMixerDsp::PeriodStep() noexcept
{
    for (int deck = 0; deck < 2; ++deck) {
        Deck& d = m_decks[deck];
        d.displayed = MeterOfPeak(d.peak);
        d.displayedPre = MeterOfPeak(d.preFaderPeak);
    }
    if (m_autoLevel) {
        bool changed = false;
        for (int deck = 0; deck < 2; ++deck) {
            Deck& d = m_decks[deck];
            // Loud decks are pulled down towards three quarters of the meter; quiet ones rise
            // slowly towards a three-quarter fader.
            if (d.displayed > 0.25f)
                d.autoGain += (d.displayed - 0.75f) * -0.012f;
            else if (d.autoGain < 0.74f || d.autoGain > 0.76f)
                d.autoGain += d.autoGain < 0.75f ? 0.01f : -0.01f;
            d.autoGain = Clamp01(d.autoGain);
            SetTarget(RampDeckVolumeA + deck, m_tables.Volume(Round(d.autoGain * 255.0f)));
            changed = true;
        }
        if (changed)
            StartRamp();
    }
    for (Deck& d : m_decks) {
        d.peak = d.peak * 0.95f + kTiny;
        d.preFaderPeak = d.preFaderPeak * 0.95f + kTiny;
    }
    m_masterPeak = m_masterPeak * 0.95f + kTiny;
    if (m_limiters[0].Working() || m_limiters[1].Working())
        m_overloadHold = 2;
    if (m_overloadHold > 0)
        --m_overloadHold;
}

void CMixerDsp::PublishReadings() noexcept
{
    for (int deck = 0; deck < 2; ++deck) {
        const Deck& d = m_decks[deck];
        // While the deck is pre-listened its meter shows the level before the deck volume.
        m_readings[deck].store(d.pfl ? d.displayedPre : d.displayed, std::memory_order_relaxed);
        m_readings[2 + deck].store(MeterOfPeak(m_ramps[RampMainA + deck].current * d.peak),
                                   std::memory_order_relaxed);
        m_autoGains[deck].store(d.autoGain, std::memory_order_relaxed);
    }
    m_readings[4].store(m_masterPeak > 2.0f ? 1.0f : m_tables.Meter(Round(m_masterPeak * kCurveTop)),
                        std::memory_order_relaxed);
    m_readings[5].store(m_overloadHold > 0 ? 1.0f : 0.0f, std::memory_order_relaxed);
}

float CMixerDsp::LevelReading(int k) const noexcept
{
    return k >= 0 && k < kReadings ? m_readings[k].load(std::memory_order_relaxed) : 0.0f;
}

float CMixerDsp::AutoLevelGain(int deck) const noexcept
{
    return m_autoGains[deck & 1].load(std::memory_order_relaxed);
}
