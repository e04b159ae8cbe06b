#include "MixerDsp.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

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

// The four lanes (A left, A right, B left, B right) of one frame as one vector: each lane is
// computed by the same operations in the same order as one lane at a time would be.
using Vec4 = float __attribute__((vector_size(16)));
using Bits4 = uint32_t __attribute__((vector_size(16)));

Vec4 Load(const std::array<float, 4>& lanes) noexcept
{
    Vec4 v;
    std::memcpy(&v, lanes.data(), sizeof v);
    return v;
}

void Store(std::array<float, 4>& lanes, Vec4 v) noexcept
{
    std::memcpy(lanes.data(), &v, sizeof v);
}

Vec4 Abs(Vec4 v) noexcept
{
    return reinterpret_cast<Vec4>(reinterpret_cast<Bits4>(v) & 0x7FFFFFFFu);
}

// std::max(a, b) in every lane, NaNs and signed zeros included.
Vec4 Max(Vec4 a, Vec4 b) noexcept
{
#if defined(__SSE2__)
    return _mm_max_ps(b, a);
#else
    Vec4 out;
    for (int c = 0; c < 4; ++c)
        out[c] = std::max(a[c], b[c]);
    return out;
#endif
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
    UpdateLaneFilters();
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
    for (int c = 2 * deck; c < 2 * deck + 2; ++c) {
        m_lanes.dc[c] = 0.0f;
        for (int k = 0; k < 4; ++k) {
            m_lanes.low[k][c] = 0.0f;
            m_lanes.band[k][c] = 0.0f;
            m_lanes.eq[k][c] = 0.0f;
        }
    }
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
        UpdateLaneFilters();
        return;
    case DeckBpNotchMode: {
        const float sign = d.mode < 0.0f ? -1.0f : 1.0f;
        d.mode = sign * (value > 0.0f ? 2.0f : 1.0f);
        UpdateLaneFilters();
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

void CMixerDsp::UpdateLaneFilters() noexcept
{
    for (int c = 0; c < 4; ++c) {
        const Deck& d = m_decks[c / 2];
        m_laneFilters.frequency1[c] = d.filter1.frequency;
        m_laneFilters.damping1[c] = d.filter1.damping;
        m_laneFilters.frequency2[c] = d.filter2.frequency;
        m_laneFilters.damping2[c] = d.filter2.damping;
    }
}

namespace {

// One state-variable section: returns its high-pass output and updates its low and band states.
// Written so that the path from the input to the outputs is as short as possible: the filter is
// four sections in a row, and their chain of dependent operations, not the arithmetic, sets the
// mixer's speed.
inline Vec4 Section(Vec4 in, Vec4& low, Vec4& band, Vec4 frequency, Vec4 damping) noexcept
{
    const Vec4 high = in - (low + damping * band);
    band += frequency * high;
    low = (low + kTiny) + frequency * band;
    return high;
}

// a where the mask's lane is set, else b.
constexpr Bits4 kLowLanes = {~0u, ~0u, 0u, 0u};

inline Vec4 Select(Bits4 mask, Vec4 a, Vec4 b) noexcept
{
    return reinterpret_cast<Vec4>((reinterpret_cast<Bits4>(a) & mask) | (reinterpret_cast<Bits4>(b) & ~mask));
}

} // namespace

float CMixerDsp::DeckPeak(const Lanes& peaks, int deck) const noexcept
{
    return std::max(peaks[2 * deck], peaks[2 * deck + 1]);
}

void CMixerDsp::Process(const std::array<const float*, kInputs>& inputs,
                        const std::array<float*, kOutputs>& outputs, uint32_t frames) noexcept
{
    // The states live in locals for the loop: members would be reloaded after every store to
    // an output (the compiler cannot rule out that the outputs alias them), which puts a memory
    // round trip into every recursive filter's chain. The DC blockers, equalisers and peaks of
    // the four lanes run as vectors.
    DeckChannels lanes = m_lanes;
    CLimiter limiter = m_limiter;
    Vec4 dc = Load(lanes.dc);
    Vec4 eq0 = Load(lanes.eq[0]);
    Vec4 eq1 = Load(lanes.eq[1]);
    Vec4 eq2 = Load(lanes.eq[2]);
    Vec4 eq3 = Load(lanes.eq[3]);
    Vec4 peak = Load(lanes.peak);
    Vec4 preFaderPeak = Load(lanes.preFaderPeak);
    // The band-pass or notch filter of each deck. Every lane runs all four sections; which
    // section feeds which, and what comes out, is chosen lane by lane. A bypassed filter passes
    // the signal and keeps its states for when it comes back.
    const bool bandPassA = m_decks[0].mode == 1.0f;
    const bool bandPassB = m_decks[1].mode == 1.0f;
    const bool activeA = bandPassA || m_decks[0].mode == 2.0f;
    const bool activeB = bandPassB || m_decks[1].mode == 2.0f;
    const bool filtering = activeA || activeB;
    const auto mask = [](bool a, bool b) {
        const uint32_t ma = a ? ~0u : 0u;
        const uint32_t mb = b ? ~0u : 0u;
        return Bits4{ma, ma, mb, mb};
    };
    const Bits4 bandPass = mask(bandPassA, bandPassB);
    const Bits4 active = mask(activeA, activeB);
    const Vec4 f1 = Load(m_laneFilters.frequency1);
    const Vec4 q1 = Load(m_laneFilters.damping1);
    const Vec4 f2 = Load(m_laneFilters.frequency2);
    const Vec4 q2 = Load(m_laneFilters.damping2);
    Vec4 low[4];
    Vec4 band[4];
    for (int k = 0; k < 4; ++k) {
        low[k] = Load(lanes.low[static_cast<size_t>(k)]);
        band[k] = Load(lanes.band[static_cast<size_t>(k)]);
    }
    const auto keep = [&] {
        Store(lanes.dc, dc);
        Store(lanes.eq[0], eq0);
        Store(lanes.eq[1], eq1);
        Store(lanes.eq[2], eq2);
        Store(lanes.eq[3], eq3);
        Store(lanes.peak, peak);
        Store(lanes.preFaderPeak, preFaderPeak);
        for (int k = 0; k < 4; ++k) {
            Store(lanes.low[static_cast<size_t>(k)], low[k]);
            Store(lanes.band[static_cast<size_t>(k)], band[k]);
        }
    };
    const auto perDeck = [this](int rampA) {
        const float a = m_ramps[rampA].current;
        const float b = m_ramps[rampA + 1].current;
        return Vec4{a, a, b, b};
    };
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
        // DC blocker: a first-order high-pass around 10 Hz.
        const Vec4 in = {inputs[0][i], inputs[1][i], inputs[2][i], inputs[3][i]};
        Vec4 x = in - dc;
        dc += kDcCoefficient * x + kTiny;
        if (filtering) {
            // Band-pass: two high-pass sections at the centre, then two low-pass sections at
            // centre + width. Notch: two low-pass sections at the centre plus, in parallel, two
            // high-pass sections at centre + width.
            Vec4 l[4] = {low[0], low[1], low[2], low[3]};
            Vec4 b[4] = {band[0], band[1], band[2], band[3]};
            const Vec4 high0 = Section(x, l[0], b[0], f1, q1);
            const Vec4 high1 = Section(Select(bandPass, high0, l[0]), l[1], b[1], f1, q1);
            const Vec4 high2 = Section(Select(bandPass, high1, x), l[2], b[2], f2, q2);
            const Vec4 high3 = Section(Select(bandPass, l[2], high2), l[3], b[3], f2, q2);
            x = Select(active, Select(bandPass, l[3], l[1] + high3), x);
            for (int k = 0; k < 4; ++k) {
                low[k] = Select(active, l[k], low[k]);
                band[k] = Select(active, b[k], band[k]);
            }
        }
        // Equaliser: two crossovers in series; at unity gains each adds its three bands back to
        // its input.
        const Vec4 low = perDeck(RampEqLowA);
        const Vec4 mid = perDeck(RampEqMidA); // doubled: 2.0 is unity
        const Vec4 high = perDeck(RampEqHighA);
        const Vec4 high1 = x - 2.0f * eq0 - eq1;
        const Vec4 y = high1 * high + eq0 * mid + eq1 * low;
        eq0 += kEqStage1 * high1;
        eq1 += kEqStage1 * eq0 + kTiny;
        const Vec4 high2 = y - 2.0f * eq2 - eq3;
        x = eq3 * low + eq2 * mid + high2 * high;
        eq2 += kEqStage2 * high2;
        eq3 += kEqStage2 * eq2 + kTiny;

        preFaderPeak = Max(preFaderPeak, Abs(x));
        x *= perDeck(RampDeckVolumeA);
        peak = Max(peak, Abs(x));
        const float mainA = m_ramps[RampMainA].current;
        const float mainB = m_ramps[RampMainB].current;
        const float master = m_ramps[RampMaster].current;
        // (A x mainA + B x mainB) x master for left and right in the two low lanes, the high
        // lanes cleared for the limiter.
        const Vec4 toMain = x * Vec4{mainA, mainA, mainB, mainB};
        const Vec4 main = limiter.ProcessLanes(Select(
            kLowLanes, (toMain + __builtin_shufflevector(toMain, toMain, 2, 3, 0, 1)) * master, Vec4{}));
        outputs[0][i] = main[0];
        outputs[1][i] = main[1];
        m_masterPeak = std::max(m_masterPeak, std::max(std::fabs(main[0]), std::fabs(main[1])));
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
            keep();
            m_lanes = lanes;
            m_limiter = limiter;
            PeriodStep();
            peak = Load(m_lanes.peak);
            preFaderPeak = Load(m_lanes.preFaderPeak);
            m_periodCounter = kPeriodFrames;
        }
    }
    keep();
    m_lanes = lanes;
    m_limiter = limiter;
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
        d.displayed = MeterOfPeak(DeckPeak(m_lanes.peak, deck));
        d.displayedPre = MeterOfPeak(DeckPeak(m_lanes.preFaderPeak, deck));
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
    for (int c = 0; c < 4; ++c) {
        m_lanes.peak[c] = m_lanes.peak[c] * 0.95f + kTiny;
        m_lanes.preFaderPeak[c] = m_lanes.preFaderPeak[c] * 0.95f + kTiny;
    }
    m_masterPeak = m_masterPeak * 0.95f + kTiny;
    if (m_limiter.Working())
        m_overloadHold = 2;
    if (m_overloadHold > 0)
        --m_overloadHold;
}

void CMixerDsp::PublishReadings() noexcept
{
    for (int deck = 0; deck < 2; ++deck) {
        const Deck& d = m_decks[deck];
        // While the deck is pre-listened its meter shows the level before the deck volume.
        m_readings[static_cast<int>(DeckMeter(deck))].store(d.pfl ? d.displayedPre : d.displayed,
                                                            std::memory_order_relaxed);
        m_readings[static_cast<int>(DeckToMainMeter(deck))].store(
            MeterOfPeak(m_ramps[RampMainA + deck].current * DeckPeak(m_lanes.peak, deck)),
            std::memory_order_relaxed);
        m_autoGains[deck].store(d.autoGain, std::memory_order_relaxed);
    }
    m_readings[static_cast<int>(Meter::Master)].store(
        m_masterPeak > 2.0f ? 1.0f : m_tables.Meter(Round(m_masterPeak * kCurveTop)),
        std::memory_order_relaxed);
    m_readings[static_cast<int>(Meter::Overload)].store(m_overloadHold > 0 ? 1.0f : 0.0f,
                                                        std::memory_order_relaxed);
}

float CMixerDsp::LevelReading(Meter meter) const noexcept
{
    const int k = static_cast<int>(meter);
    return k >= 0 && k < kReadings ? m_readings[k].load(std::memory_order_relaxed) : 0.0f;
}

float CMixerDsp::AutoLevelGain(int deck) const noexcept
{
    return m_autoGains[deck & 1].load(std::memory_order_relaxed);
}

int CMixerDsp::DeckVolumeForGain(float gainDb) const noexcept
{
    const float wanted = std::pow(10.0f, gainDb / 20.0f);
    int best = 0;
    float bestDistance = INFINITY;
    for (int value = 1; value <= 255; ++value) {
        // The same control-to-curve step as SetParam takes for "Deck Volume".
        const float gain = m_tables.Volume(Round(ValueFromControl(DeckVolume, value) * kCurveTop));
        const float distance = std::fabs(std::log(gain / wanted));
        if (distance < bestDistance) {
            best = value;
            bestDistance = distance;
        }
    }
    return best;
}
