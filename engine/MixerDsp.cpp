#include "MixerDsp.h"
#include "PlainLanes.h"
#include "WideLanes.h"

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

CMixerDsp::CMixerDsp() : m_loneChain({kDcCoefficient, kEqStage1, kEqStage2, kTiny})
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
    bool moving = false;
    for (Ramp& ramp : m_ramps) {
        ramp.increment = (ramp.target - ramp.current) * kRampStep;
        if (std::fabs(ramp.increment) < kTiny) {
            ramp.current = ramp.target;
            ramp.increment = 0.0f;
        }
        moving = moving || ramp.increment != 0.0f;
    }
    // A setting sent again unchanged starts no ramp.
    m_rampCounter = moving ? kRampFrames : 0;
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
        m_settled[deck] = false; // what the deck gives at rest changes at once
        d.centre = 20.0f + 120.0f * x;
        SetFilterNote(d.filter1, d.centre, d);
        SetFilterNote(d.filter2, d.centre + d.width, d);
        return;
    case DeckBpWidth:
        m_settled[deck] = false; // what the deck gives at rest changes at once
        d.width = 1.0f + 119.0f * x;
        SetFilterNote(d.filter2, d.centre + d.width, d);
        return;
    case DeckBpResonance:
        m_settled[deck] = false; // what the deck gives at rest changes at once
        SetResonance(d, 0.1f + 0.78f * x);
        return;
    case DeckBpActive:
        m_settled[deck] = false; // what the deck gives at rest changes at once
        if (value > 0.0f)
            d.mode = std::fabs(d.mode);
        else
            d.mode = -std::fabs(d.mode);
        UpdateLaneFilters();
        return;
    case DeckBpNotchMode: {
        m_settled[deck] = false; // what the deck gives at rest changes at once
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
        m_settled[number - ClearDeckStates] = false;
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

// Every ramped gain of one frame, four lanes each.
struct CMixerDsp::Gains {
    Vec4 eqLow, eqMid, eqHigh; // per deck
    Vec4 volume;               // deck volume
    Vec4 main;                 // deck to the main mix
    Vec4 fade;                 // deck to the monitor's cue mix
    Vec4 level;                // master volume in the low lanes, monitor volume in the high lanes
};

CMixerDsp::Gains CMixerDsp::RampGains(float Ramp::*field) const noexcept
{
    const auto perDeck = [&](int rampA) {
        const float a = m_ramps[rampA].*field;
        const float b = m_ramps[rampA + 1].*field;
        return Vec4{a, a, b, b};
    };
    const float master = m_ramps[RampMaster].*field;
    const float monitor = m_ramps[RampMonitorVolume].*field;
    return {perDeck(RampEqLowA),
            perDeck(RampEqMidA),
            perDeck(RampEqHighA),
            perDeck(RampDeckVolumeA),
            perDeck(RampMainA),
            perDeck(RampMonitorFadeA),
            Vec4{master, master, monitor, monitor}};
}

void CMixerDsp::KeepGains(const Gains& gains) noexcept
{
    const auto perDeck = [&](int rampA, Vec4 lanes) {
        m_ramps[rampA].current = lanes[0];
        m_ramps[rampA + 1].current = lanes[2];
    };
    perDeck(RampEqLowA, gains.eqLow);
    perDeck(RampEqMidA, gains.eqMid);
    perDeck(RampEqHighA, gains.eqHigh);
    perDeck(RampDeckVolumeA, gains.volume);
    perDeck(RampMainA, gains.main);
    perDeck(RampMonitorFadeA, gains.fade);
    m_ramps[RampMaster].current = gains.level[0];
    m_ramps[RampMonitorVolume].current = gains.level[2];
}

namespace {

Vec4 Swap(Vec4 v) noexcept
{
    return __builtin_shufflevector(v, v, 2, 3, 0, 1);
}

// std::clamp(v, -1.0f, 1.0f) in every lane.
Vec4 ClampUnit(Vec4 v) noexcept
{
#if defined(__SSE2__)
    return _mm_min_ps(_mm_set1_ps(1.0f), _mm_max_ps(_mm_set1_ps(-1.0f), v));
#else
    for (int c = 0; c < 4; ++c)
        v[c] = std::clamp(v[c], -1.0f, 1.0f);
    return v;
#endif
}

// Frames of the four planes side by side, and back.
void Interleave(const std::array<const float*, 4>& planes, uint32_t offset, uint32_t frames,
                Vec4* lanes) noexcept
{
    uint32_t i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= frames; i += 4) {
        __m128 a = _mm_loadu_ps(planes[0] + offset + i);
        __m128 b = _mm_loadu_ps(planes[1] + offset + i);
        __m128 c = _mm_loadu_ps(planes[2] + offset + i);
        __m128 d = _mm_loadu_ps(planes[3] + offset + i);
        _MM_TRANSPOSE4_PS(a, b, c, d);
        lanes[i] = a;
        lanes[i + 1] = b;
        lanes[i + 2] = c;
        lanes[i + 3] = d;
    }
#endif
    for (; i < frames; ++i)
        lanes[i] =
            Vec4{planes[0][offset + i], planes[1][offset + i], planes[2][offset + i], planes[3][offset + i]};
}

void Deinterleave(const Vec4* lanes, uint32_t frames, const std::array<float*, 4>& planes, uint32_t offset,
                  bool monitor) noexcept
{
    uint32_t i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= frames; i += 4) {
        __m128 a = lanes[i];
        __m128 b = lanes[i + 1];
        __m128 c = lanes[i + 2];
        __m128 d = lanes[i + 3];
        _MM_TRANSPOSE4_PS(a, b, c, d);
        _mm_storeu_ps(planes[0] + offset + i, a);
        _mm_storeu_ps(planes[1] + offset + i, b);
        if (monitor) {
            _mm_storeu_ps(planes[2] + offset + i, c);
            _mm_storeu_ps(planes[3] + offset + i, d);
        }
    }
#endif
    for (; i < frames; ++i) {
        planes[0][offset + i] = lanes[i][0];
        planes[1][offset + i] = lanes[i][1];
        if (monitor) {
            planes[2][offset + i] = lanes[i][2];
            planes[3][offset + i] = lanes[i][3];
        }
    }
}

} // namespace

template <CMixerDsp::FilterKind Kind, bool Staggered>
[[gnu::always_inline]] inline void CMixerDsp::ProcessFrames(const Vec4* in, Vec4* out, uint32_t frames,
                                                            bool monitor) noexcept
{
    // Every state and gain lives in a local for the loop, where the compiler can keep it in a
    // register (named, not in arrays); members are written back for the period step and at the
    // end.
    Vec4 dc = Load(m_lanes.dc);
    Vec4 eq0 = Load(m_lanes.eq[0]);
    Vec4 eq1 = Load(m_lanes.eq[1]);
    Vec4 eq2 = Load(m_lanes.eq[2]);
    Vec4 eq3 = Load(m_lanes.eq[3]);
    Vec4 peak = Load(m_lanes.peak);
    Vec4 preFaderPeak = Load(m_lanes.preFaderPeak);
    Gains gains = RampGains(&Ramp::current);
    const Gains increments = RampGains(&Ramp::increment);
    int rampLeft = m_rampCounter;
    const int monitorMode = m_monitorMode;
    Vec4 lastChain = Load(m_lastChain);

    // The band-pass or notch filter of each deck. Every lane runs all four sections; in the
    // mixed case which section feeds which, and what comes out, is chosen lane by lane. A
    // bypassed filter passes the signal; its lanes run too and get their states back at the end,
    // so the filter returns as it was left.
    const bool bandPassA = m_decks[0].mode == 1.0f;
    const bool bandPassB = m_decks[1].mode == 1.0f;
    const bool activeA = Filtering(0);
    const bool activeB = Filtering(1);
    const bool partial = activeA != activeB;
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
    Vec4 low0 = Load(m_lanes.low[0]), low1 = Load(m_lanes.low[1]), low2 = Load(m_lanes.low[2]),
         low3 = Load(m_lanes.low[3]);
    Vec4 band0 = Load(m_lanes.band[0]), band1 = Load(m_lanes.band[1]), band2 = Load(m_lanes.band[2]),
         band3 = Load(m_lanes.band[3]);

    // Frame i from the filter's output on: equaliser, deck volume, cross-fader, master and
    // monitor volume.
    const auto finish = [&](uint32_t i, Vec4 x) __attribute__((always_inline))
    {
        if (rampLeft > 0) {
            gains.eqLow += increments.eqLow;
            gains.eqMid += increments.eqMid;
            gains.eqHigh += increments.eqHigh;
            gains.volume += increments.volume;
            gains.main += increments.main;
            gains.fade += increments.fade;
            gains.level += increments.level;
            // Land exactly: 250 float additions drift by a few ulps.
            if (--rampLeft == 0)
                gains = RampGains(&Ramp::target);
        }
        // Equaliser: two crossovers in series; at unity gains each adds its three bands back to
        // its input.
        const Vec4 high1 = x - 2.0f * eq0 - eq1;
        const Vec4 y = high1 * gains.eqHigh + eq0 * gains.eqMid + eq1 * gains.eqLow;
        eq0 += kEqStage1 * high1;
        eq1 += kEqStage1 * eq0 + kTiny;
        const Vec4 high2 = y - 2.0f * eq2 - eq3;
        x = eq3 * gains.eqLow + eq2 * gains.eqMid + high2 * gains.eqHigh;
        eq2 += kEqStage2 * high2;
        eq3 += kEqStage2 * eq2 + kTiny;

        preFaderPeak = Max(preFaderPeak, Abs(x));
        lastChain = x;
        x *= gains.volume;
        peak = Max(peak, Abs(x));
        // Left and right of A x main A + B x main B in the low lanes; with the monitor, its
        // left and right in the high lanes. Then master and monitor volume.
        const Vec4 toMain = x * gains.main;
        Vec4 mix = toMain + Swap(toMain);
        if (monitor) {
            Vec4 toMonitor;
            if (monitorMode == 0) { // cue mix
                toMonitor = x * gains.fade;
            } else if (monitorMode == 1) { // main mix
                toMonitor = toMain;
            } else { // split: main mix (mono) left, cue mix (mono) right
                toMonitor = (x + __builtin_shufflevector(x, x, 1, 0, 3, 2)) *
                            __builtin_shufflevector(gains.main, gains.fade, 0, 4, 2, 6);
            }
            mix = __builtin_shufflevector(mix, toMonitor + Swap(toMonitor), 0, 1, 6, 7);
        }
        out[i] = mix * gains.level;
    };
    // DC blocker: a first-order high-pass around 10 Hz.
    const auto blockDc = [&](Vec4 x) __attribute__((always_inline))
    {
        x -= dc;
        dc += kDcCoefficient * x + kTiny;
        return x;
    };

    if constexpr (Kind == FilterKind::Off) {
        for (uint32_t i = 0; i < frames; ++i)
            finish(i, blockDc(in[i]));
    } else if constexpr (!Staggered) {
        for (uint32_t i = 0; i < frames; ++i) {
            const Vec4 x = blockDc(in[i]);
            // Band-pass: two high-pass sections at the centre, then two low-pass sections at
            // centre + width. Notch: two low-pass sections at the centre plus, in parallel, two
            // high-pass sections at centre + width.
            Vec4 filtered;
            if constexpr (Kind == FilterKind::BandPass) {
                const Vec4 high0 = Section(x, low0, band0, f1, q1);
                const Vec4 high1 = Section(high0, low1, band1, f1, q1);
                Section(high1, low2, band2, f2, q2);
                Section(low2, low3, band3, f2, q2);
                filtered = low3;
            } else if constexpr (Kind == FilterKind::Notch) {
                Section(x, low0, band0, f1, q1);
                Section(low0, low1, band1, f1, q1);
                const Vec4 high2 = Section(x, low2, band2, f2, q2);
                const Vec4 high3 = Section(high2, low3, band3, f2, q2);
                filtered = low1 + high3;
            } else {
                const Vec4 high0 = Section(x, low0, band0, f1, q1);
                const Vec4 high1 = Section(Select(bandPass, high0, low0), low1, band1, f1, q1);
                const Vec4 high2 = Section(Select(bandPass, high1, x), low2, band2, f2, q2);
                const Vec4 high3 = Section(Select(bandPass, low2, high2), low3, band3, f2, q2);
                filtered = Select(bandPass, low3, low1 + high3);
            }
            finish(i, partial ? Select(active, filtered, x) : filtered);
        }
    } else {
        // The same sections staggered by a frame, two to a vector: sections 1 and 2 of frame i
        // run beside sections 3 and 4 of frame i - 1, which take what sections 1 and 2 gave
        // for that frame. Each section still sees its own states frame after frame, so every
        // lane computes what it computes above, but the chain of dependent operations within an
        // iteration is half as long.
        using Vec8 = float __attribute__((vector_size(32)));
        using Bits8 = uint32_t __attribute__((vector_size(32)));
        // Eight-lane values pass by reference: the plain path never runs this code, but the
        // compiler would warn about passing them by value where AVX may be missing.
        const auto join = [](Vec8 & joined, Vec4 a, Vec4 b) __attribute__((always_inline))
        {
            joined = __builtin_shufflevector(a, b, 0, 1, 2, 3, 4, 5, 6, 7);
        };
        const auto lower = [](const Vec8& v) __attribute__((always_inline))
        {
            return Vec4(__builtin_shufflevector(v, v, 0, 1, 2, 3));
        };
        const auto upper = [](const Vec8& v) __attribute__((always_inline))
        {
            return Vec4(__builtin_shufflevector(v, v, 4, 5, 6, 7));
        };
        const auto section = [](Vec8 & high, const Vec8& input, Vec8& low, Vec8& band, const Vec8& frequency,
                                const Vec8& damping) __attribute__((always_inline))
        {
            high = input - (low + damping * band);
            band += frequency * high;
            low = (low + kTiny) + frequency * band;
        };
        // Lower half: sections 1 and 2 (the centre); upper half: sections 3 and 4.
        Vec8 lowOdd, bandOdd, lowEven, bandEven, frequency, damping, passHigh;
        join(lowOdd, low0, low2);
        join(bandOdd, band0, band2);
        join(lowEven, low1, low3);
        join(bandEven, band1, band3);
        join(frequency, f1, f2);
        join(damping, q1, q2);
        // Which output of the first pair feeds the second: high-pass for band-pass lanes below
        // and notch lanes above.
        join(passHigh, reinterpret_cast<Vec4>(bandPass), reinterpret_cast<Vec4>(~bandPass));
        Vec4 nextInput{}; // into section 3 for the frame before
        Vec4 lastLow1{};  // section 2's low output for the frame before
        Vec4 lastX{};     // the frame before, after the DC blocker
        // One iteration: sections 1 and 2 of the frame x, 3 and 4 of the one before; returns the
        // filter's output for the frame before.
        const auto step = [&](Vec4 x) __attribute__((always_inline))
        {
            Vec8 oddInput, highOdd, evenInput, highEven;
            join(oddInput, x, nextInput);
            section(highOdd, oddInput, lowOdd, bandOdd, frequency, damping);
            if constexpr (Kind == FilterKind::BandPass)
                evenInput = __builtin_shufflevector(highOdd, lowOdd, 0, 1, 2, 3, 12, 13, 14, 15);
            else if constexpr (Kind == FilterKind::Notch)
                evenInput = __builtin_shufflevector(lowOdd, highOdd, 0, 1, 2, 3, 12, 13, 14, 15);
            else
                evenInput = reinterpret_cast<Vec8>(
                    (reinterpret_cast<Bits8>(highOdd) & reinterpret_cast<Bits8>(passHigh)) |
                    (reinterpret_cast<Bits8>(lowOdd) & ~reinterpret_cast<Bits8>(passHigh)));
            section(highEven, evenInput, lowEven, bandEven, frequency, damping);
            Vec4 filtered;
            if constexpr (Kind == FilterKind::BandPass)
                filtered = upper(lowEven);
            else if constexpr (Kind == FilterKind::Notch)
                filtered = lastLow1 + upper(highEven);
            else
                filtered = Select(bandPass, upper(lowEven), lastLow1 + upper(highEven));
            lastLow1 = lower(lowEven);
            if constexpr (Kind == FilterKind::BandPass)
                nextInput = lower(highEven);
            else if constexpr (Kind == FilterKind::Notch)
                nextInput = x;
            else
                nextInput = Select(bandPass, lower(highEven), x);
            return partial ? Select(active, filtered, lastX) : filtered;
        };
        // The first frame leaves the states of sections 3 and 4 as they were, and after the last
        // the states of sections 1 and 2 are kept from an extra step that finishes it.
        // Lanes 4-7 from kept when upperHalf is true, lanes 0-3 when it is false.
        const auto keepHalf = [&](bool upperHalf, Vec8& state, const Vec8& kept)
            __attribute__((always_inline))
        {
            if (upperHalf)
                state = __builtin_shufflevector(state, kept, 0, 1, 2, 3, 12, 13, 14, 15);
            else
                state = __builtin_shufflevector(kept, state, 0, 1, 2, 3, 12, 13, 14, 15);
        };
        if (frames > 0) {
            const Vec8 lowOddKept = lowOdd, bandOddKept = bandOdd, lowEvenKept = lowEven,
                       bandEvenKept = bandEven;
            lastX = blockDc(in[0]);
            step(lastX);
            keepHalf(true, lowOdd, lowOddKept);
            keepHalf(true, bandOdd, bandOddKept);
            keepHalf(true, lowEven, lowEvenKept);
            keepHalf(true, bandEven, bandEvenKept);
            for (uint32_t i = 1; i < frames; ++i) {
                const Vec4 x = blockDc(in[i]);
                const Vec4 filtered = step(x);
                lastX = x;
                finish(i - 1, filtered);
            }
            const Vec8 lowOddDone = lowOdd, bandOddDone = bandOdd, lowEvenDone = lowEven,
                       bandEvenDone = bandEven;
            const Vec4 filtered = step(Vec4{});
            keepHalf(false, lowOdd, lowOddDone);
            keepHalf(false, bandOdd, bandOddDone);
            keepHalf(false, lowEven, lowEvenDone);
            keepHalf(false, bandEven, bandEvenDone);
            finish(frames - 1, filtered);
        }
        low0 = lower(lowOdd);
        low2 = upper(lowOdd);
        band0 = lower(bandOdd);
        band2 = upper(bandOdd);
        low1 = lower(lowEven);
        low3 = upper(lowEven);
        band1 = lower(bandEven);
        band3 = upper(bandEven);
    }

    Store(m_lanes.peak, peak);
    Store(m_lanes.preFaderPeak, preFaderPeak);
    Store(m_lastChain, lastChain);
    KeepGains(gains);
    m_rampCounter = rampLeft;
    Store(m_lanes.dc, dc);
    Store(m_lanes.eq[0], eq0);
    Store(m_lanes.eq[1], eq1);
    Store(m_lanes.eq[2], eq2);
    Store(m_lanes.eq[3], eq3);
    if constexpr (Kind != FilterKind::Off) {
        const auto keepFilter = [&](Lanes& kept, Vec4 state) {
            Store(kept, partial ? Select(active, state, Load(kept)) : state);
        };
        keepFilter(m_lanes.low[0], low0);
        keepFilter(m_lanes.low[1], low1);
        keepFilter(m_lanes.low[2], low2);
        keepFilter(m_lanes.low[3], low3);
        keepFilter(m_lanes.band[0], band0);
        keepFilter(m_lanes.band[1], band1);
        keepFilter(m_lanes.band[2], band2);
        keepFilter(m_lanes.band[3], band3);
    }
}

// Main mix in the low lanes, limited in place; with the monitor, its mix clamped in the high lanes.
[[gnu::always_inline]] inline void CMixerDsp::LimitFrames(Vec4* frames, uint32_t count, bool monitor) noexcept
{
    CLimiter limiter = m_limiter;
    limiter.NoteRest();
    Vec4 masterPeak{};
    for (uint32_t i = 0; i < count; ++i) {
        const Vec4 mix = frames[i];
        const Vec4 main = limiter.ProcessLanes(Select(kLowLanes, mix, Vec4{}));
        masterPeak = Max(masterPeak, Abs(main));
        frames[i] = monitor ? __builtin_shufflevector(main, ClampUnit(mix), 0, 1, 6, 7) : main;
    }
    m_limiter = limiter;
    m_masterPeak = std::max(m_masterPeak, std::max(masterPeak[0], masterPeak[1]));
}

template <CMixerDsp::FilterKind Kind>
void CMixerDsp::ProcessPlain(Vec4* frames, uint32_t count, bool monitor) noexcept
{
    ProcessFrames<Kind, false>(frames, frames, count, monitor);
    LimitFrames(frames, count, monitor);
}

template <CMixerDsp::FilterKind Kind>
__attribute__((target("avx2"))) void CMixerDsp::ProcessAvx2(Vec4* frames, uint32_t count,
                                                            bool monitor) noexcept
{
    ProcessFrames<Kind, true>(frames, frames, count, monitor);
    LimitFrames(frames, count, monitor);
}

// The same code with AVX-512's 32 vector registers, which hold the loop's states without spills.
template <CMixerDsp::FilterKind Kind>
__attribute__((target("avx512f,avx512vl"))) void CMixerDsp::ProcessAvx512(Vec4* frames, uint32_t count,
                                                                          bool monitor) noexcept
{
    ProcessFrames<Kind, true>(frames, frames, count, monitor);
    LimitFrames(frames, count, monitor);
}

// ---- A deck alone -------------------------------------------------------------------------

namespace {

// States that move by no more than this over at least kSettleFrames count as settled: what is left
// of their decay (the DC blocker's is the slowest, 9% in that time) then changes the mix by well
// under 1e-7.
constexpr float kSettled = 1e-9f;
constexpr uint32_t kSettleFrames = 64;

// Every frame has the value's bits. Past the first frame without an early way out, so the loop
// runs four or eight frames to a step.
bool HeldStill(const float* in, uint32_t count, float value) noexcept
{
    if (!(in[0] == value)) // a deck that plays, mostly
        return false;
    uint32_t held;
    std::memcpy(&held, &value, sizeof held);
    uint32_t differs = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t bits;
        std::memcpy(&bits, in + i, sizeof bits);
        differs |= bits ^ held;
    }
    return differs == 0;
}

} // namespace

std::atomic<bool> CMixerDsp::s_loneDeck{true};

void CMixerDsp::UseLoneDeck(bool use) noexcept
{
    s_loneDeck.store(use, std::memory_order_relaxed);
}

void CMixerDsp::NoteSettled(const Inputs& inputs, uint32_t offset, uint32_t count,
                            const DeckChannels& before) noexcept
{
    for (int deck = 0; deck < 2; ++deck) {
        const bool filtered = Filtering(deck);
        bool settled = count >= kSettleFrames;
        for (int c = 2 * deck; c < 2 * deck + 2 && settled; ++c) {
            const float held = inputs[c][offset + count - 1];
            settled = HeldStill(inputs[c] + offset, count, held);
            m_restInput[c] = held;
            const auto moved = [&](float now, float was) { return !(std::fabs(now - was) <= kSettled); };
            settled = settled && !moved(m_lanes.dc[c], before.dc[c]);
            for (int k = 0; k < 4 && settled; ++k) {
                settled = !moved(m_lanes.eq[k][c], before.eq[k][c]);
                if (filtered)
                    settled = settled && !moved(m_lanes.low[k][c], before.low[k][c]) &&
                              !moved(m_lanes.band[k][c], before.band[k][c]);
            }
        }
        m_settled[deck] = settled;
    }
}

int CMixerDsp::LoneDeck(const Inputs& inputs, uint32_t offset, uint32_t count) const noexcept
{
    if (!s_loneDeck.load(std::memory_order_relaxed) || m_rampCounter > 0)
        return -1;
    for (int resting = 1; resting >= 0; --resting) {
        const int deck = 1 - resting;
        if (m_settled[resting] && !m_settled[deck] && !Filtering(deck) &&
            HeldStill(inputs[2 * resting] + offset, count, m_restInput[2 * resting]) &&
            HeldStill(inputs[2 * resting + 1] + offset, count, m_restInput[2 * resting + 1]))
            return deck;
    }
    return -1;
}

// The playing deck's chain eight frames at a time; after it, the same stages as both decks run
// frame by frame, eight frames a step, with the resting deck's share a constant.
template <typename Wide>
[[gnu::always_inline]] inline void CMixerDsp::ProcessLone(int deck, const Inputs& inputs,
                                                          const Outputs& outputs, uint32_t offset,
                                                          uint32_t count, bool monitor) noexcept
{
    constexpr uint32_t kBlock = CLoneDeckChain::kBlock;
    const int resting = 1 - deck;
    m_loneChain.Build(m_ramps[RampEqLowA + deck].current, m_ramps[RampEqMidA + deck].current,
                      m_ramps[RampEqHighA + deck].current);
    std::array<CLoneDeckChain::Lanes, 2> states{};
    std::array<float, 2> pre{};
    std::array<float, 2> peak{};
    std::array<float, 2> restMain{};
    std::array<float, 2> restCue{};
    std::array<float, 2> restSplit{};
    const float volume = m_ramps[RampDeckVolumeA + deck].current;
    const float toMain = m_ramps[RampMainA + deck].current;
    const float toCue = m_ramps[RampMonitorFadeA + deck].current;
    const float master = m_ramps[RampMaster].current;
    const float monitorVolume = m_ramps[RampMonitorVolume].current;
    const float restToMain = m_ramps[RampMainA + resting].current;
    const float restToCue = m_ramps[RampMonitorFadeA + resting].current;
    std::array<float, 2> restX{};
    for (int c = 0; c < 2; ++c) {
        const int lane = 2 * deck + c;
        states[c] = {m_lanes.dc[lane], m_lanes.eq[0][lane], m_lanes.eq[1][lane], m_lanes.eq[2][lane],
                     m_lanes.eq[3][lane]};
        pre[c] = m_lanes.preFaderPeak[lane];
        peak[c] = m_lanes.peak[lane];
        const int restLane = 2 * resting + c;
        const float restChain = m_lastChain[restLane];
        restX[c] = restChain * m_ramps[RampDeckVolumeA + resting].current;
        m_lanes.preFaderPeak[restLane] = std::max(m_lanes.preFaderPeak[restLane], std::fabs(restChain));
        m_lanes.peak[restLane] = std::max(m_lanes.peak[restLane], std::fabs(restX[c]));
        restMain[c] = restX[c] * restToMain;
        restCue[c] = restX[c] * restToCue;
    }
    restSplit[0] = (restX[0] + restX[1]) * restToMain;
    restSplit[1] = (restX[1] + restX[0]) * restToCue;

    // Peaks lane by lane, taken together at the end.
    std::array<Wide, 2> preLanes = {Wide::Splat(0.0f), Wide::Splat(0.0f)};
    std::array<Wide, 2> peakLanes = preLanes;
    Wide masterLanes = Wide::Splat(0.0f);
    CLimiter limiter = m_limiter;
    limiter.NoteRest();
    // Frames done .. done + n, eight lanes a step; called with a constant n for whole blocks, so
    // what only the last block needs drops out of the others.
    const auto block = [&](uint32_t done, uint32_t n) __attribute__((always_inline))
    {
        const auto keep = [&](const Wide& frames, float* to) __attribute__((always_inline))
        {
            if (n == kBlock) {
                frames.Store(to);
            } else {
                std::array<float, kBlock> all;
                frames.Store(all.data());
                std::memcpy(to, all.data(), n * sizeof(float));
            }
        };
        // Sums of two shares are the same in either order, so the resting deck's share can come
        // last whichever deck it is.
        std::array<Wide, 2> x;
        std::array<Wide, 2> mix;
        for (int c = 0; c < 2; ++c) {
            Wide y = m_loneChain.Run<Wide>(inputs[2 * deck + c] + offset + done, n, states[c]);
            if (n < kBlock)
                y = y.First(n);
            preLanes[c] = Max(preLanes[c], Abs(y));
            x[c] = y * volume;
            peakLanes[c] = Max(peakLanes[c], Abs(x[c]));
            mix[c] = x[c] * toMain + Wide::Splat(restMain[c]);
        }
        if (monitor) {
            for (int c = 0; c < 2; ++c) {
                Wide cue = mix[c];
                if (m_monitorMode == 0)
                    cue = x[c] * toCue + Wide::Splat(restCue[c]);
                else if (m_monitorMode == 2)
                    cue = (x[c] + x[1 - c]) * (c == 0 ? toMain : toCue) + Wide::Splat(restSplit[c]);
                keep(ClampUnit(cue * monitorVolume), outputs[2 + c] + offset + done);
            }
        }
        for (int c = 0; c < 2; ++c)
            mix[c] = mix[c] * master;
        if (!limiter.PassResting(mix[0], mix[1], n)) {
            std::array<std::array<float, kBlock>, 2> frames;
            for (int c = 0; c < 2; ++c)
                mix[c].Store(frames[c].data());
            for (uint32_t j = 0; j < n; ++j) {
                const Vec4 limited = limiter.ProcessLanes(Vec4{frames[0][j], frames[1][j], 0.0f, 0.0f});
                frames[0][j] = limited[0];
                frames[1][j] = limited[1];
            }
            for (int c = 0; c < 2; ++c)
                mix[c] = Wide::Load(frames[c].data());
        }
        for (int c = 0; c < 2; ++c) {
            masterLanes = Max(masterLanes, Abs(n < kBlock ? mix[c].First(n) : mix[c]));
            keep(mix[c], outputs[c] + offset + done);
        }
    };
    uint32_t done = 0;
    for (; done + kBlock <= count; done += kBlock)
        block(done, kBlock);
    if (done < count)
        block(done, count - done);
    std::array<float, kBlock> lanes;
    masterLanes.Store(lanes.data());
    float masterPeak = 0;
    for (float lane : lanes)
        masterPeak = std::max(masterPeak, lane);
    for (int c = 0; c < 2; ++c) {
        preLanes[c].Store(lanes.data());
        for (float lane : lanes)
            pre[c] = std::max(pre[c], lane);
        peakLanes[c].Store(lanes.data());
        for (float lane : lanes)
            peak[c] = std::max(peak[c], lane);
    }
    for (int c = 0; c < 2; ++c) {
        const int lane = 2 * deck + c;
        m_lanes.dc[lane] = states[c][0];
        for (int k = 0; k < 4; ++k)
            m_lanes.eq[k][lane] = states[c][k + 1];
        m_lanes.preFaderPeak[lane] = pre[c];
        m_lanes.peak[lane] = peak[c];
    }
    m_limiter = limiter;
    m_masterPeak = std::max(m_masterPeak, masterPeak);
}

void CMixerDsp::ProcessLonePlain(int deck, const Inputs& inputs, const Outputs& outputs, uint32_t offset,
                                 uint32_t count, bool monitor) noexcept
{
    ProcessLone<PlainLanes>(deck, inputs, outputs, offset, count, monitor);
}

__attribute__((target("avx2"))) void CMixerDsp::ProcessLoneAvx2(int deck, const Inputs& inputs,
                                                                const Outputs& outputs, uint32_t offset,
                                                                uint32_t count, bool monitor) noexcept
{
    ProcessLone<WideLanes>(deck, inputs, outputs, offset, count, monitor);
}

__attribute__((target("avx512f,avx512vl"))) void CMixerDsp::ProcessLoneAvx512(int deck, const Inputs& inputs,
                                                                              const Outputs& outputs,
                                                                              uint32_t offset, uint32_t count,
                                                                              bool monitor) noexcept
{
    ProcessLone<WideLanes>(deck, inputs, outputs, offset, count, monitor);
}

CMixerDsp::Path CMixerDsp::BestPath() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
        return Path::Avx512;
    if (__builtin_cpu_supports("avx2"))
        return Path::Avx2;
#endif
    return Path::Plain;
}

std::atomic<CMixerDsp::Path> CMixerDsp::s_path{CMixerDsp::BestPath()};

CMixerDsp::Path CMixerDsp::UsePath(Path path) noexcept
{
    s_path.store(std::min(path, BestPath()), std::memory_order_relaxed);
    return s_path.load(std::memory_order_relaxed);
}

template <CMixerDsp::FilterKind Kind> CMixerDsp::Run CMixerDsp::PathRun() noexcept
{
    switch (s_path.load(std::memory_order_relaxed)) {
#if defined(__x86_64__) || defined(__i386__)
    case Path::Avx512:
        return &CMixerDsp::ProcessAvx512<Kind>;
    case Path::Avx2:
        return &CMixerDsp::ProcessAvx2<Kind>;
#endif
    default:
        return &CMixerDsp::ProcessPlain<Kind>;
    }
}

CMixerDsp::LoneRun CMixerDsp::LonePathRun() noexcept
{
    switch (s_path.load(std::memory_order_relaxed)) {
#if defined(__x86_64__) || defined(__i386__)
    case Path::Avx512:
        return &CMixerDsp::ProcessLoneAvx512;
    case Path::Avx2:
        return &CMixerDsp::ProcessLoneAvx2;
#endif
    default:
        return &CMixerDsp::ProcessLonePlain;
    }
}

void CMixerDsp::Process(const std::array<const float*, kInputs>& inputs,
                        const std::array<float*, kOutputs>& outputs, uint32_t frames) noexcept
{
    const bool bandPassA = m_decks[0].mode == 1.0f;
    const bool bandPassB = m_decks[1].mode == 1.0f;
    const bool activeA = Filtering(0);
    const bool activeB = Filtering(1);
    Run run = PathRun<FilterKind::Off>();
    if (activeA && activeB && bandPassA != bandPassB)
        run = PathRun<FilterKind::Mixed>();
    else if (activeA || activeB)
        // A bypassed deck runs the other deck's structure; its lanes are passed through.
        run = (activeA ? bandPassA : bandPassB) ? PathRun<FilterKind::BandPass>()
                                                : PathRun<FilterKind::Notch>();
    const bool monitor = outputs[2] != nullptr && outputs[3] != nullptr;
    const LoneRun lone = LonePathRun();
    // Segments of at most a chunk that end where a period does, so the period step runs between
    // them.
    std::array<Vec4, kChunkFrames> lanes;
    for (uint32_t offset = 0; offset < frames;) {
        const uint32_t count =
            std::min({frames - offset, kChunkFrames, static_cast<uint32_t>(m_periodCounter)});
        const int loneDeck = LoneDeck(inputs, offset, count);
        if (loneDeck >= 0) {
            (this->*lone)(loneDeck, inputs, outputs, offset, count, monitor);
        } else {
            const DeckChannels before = m_lanes;
            Interleave(inputs, offset, count, lanes.data());
            (this->*run)(lanes.data(), count, monitor);
            Deinterleave(lanes.data(), count, outputs, offset, monitor);
            NoteSettled(inputs, offset, count, before);
        }
        offset += count;
        m_periodCounter -= static_cast<int>(count);
        if (m_periodCounter == 0) {
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
