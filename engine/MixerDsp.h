#pragma once

#include "Limiter.h"
#include "LoneDeckChain.h"
#include "Meter.h"
#include "MixerTables.h"

#include <array>
#include <atomic>
#include <cstdint>

// The mixing desk. Once per tick it takes 128 frames of four deck channels (A left, A right,
// B left, B right; floats, 1.0 = full scale) and gives the main mix (left, right) and the
// monitor mix (left, right). Each deck channel runs through a DC blocker, the deck's band-pass
// or notch filter, a three-band equaliser with kills and the deck volume; the main mix is
// formed by the cross-fader, scaled by the master volume and limited; the monitor mix follows
// the monitor mode. Gains never jump: every new target is reached over 250 samples.
//
// Threads: Process and SetParam on the audio thread (the control dispatch runs there between
// ticks, so no lock is needed); LevelReading and AutoLevelGain are plain reads from any thread.
class CMixerDsp {
public:
    static constexpr int kInputs = 4;
    static constexpr int kOutputs = 4;
    static constexpr int kParams = 40;
    static constexpr int kReadings = kMeters;
    static constexpr int kRampFrames = 250;
    static constexpr int kPeriodFrames = 1764; // 40 ms: meters, auto level, overload hold

    // Parameter numbers.
    enum Param : int {
        XFader = 0,
        MasterVolume = 1,
        MasterLimiter = 2,
        MonitorVolume = 3,
        MonitorXFader = 4,
        MonitorOutputMode = 5,
        DeckVolume = 6,
        DeckPfl = 8,
        DeckMute = 10,
        DeckPunchIn = 12,
        DeckEqLow = 14,
        DeckEqLowKill = 16,
        DeckEqMid = 18,
        DeckEqMidKill = 20,
        DeckEqHigh = 22,
        DeckEqHighKill = 24,
        DeckBpCenter = 26,
        DeckBpWidth = 28,
        DeckBpResonance = 30,
        DeckBpActive = 32,
        DeckBpNotchMode = 34,
        AutoLevelDecks = 36,
        XFaderMode = 37,
        ClearDeckStates = 38,
    };

    CMixerDsp();

    // The code that processes: the plain loops run on every processor; the others stagger the
    // band-pass sections two to a vector and need AVX2 or AVX-512. All give the same samples.
    enum class Path : int { Plain, Avx2, Avx512 };
    static Path BestPath() noexcept;
    // Chooses the path (at most the best the processor has) and returns the one in use. For tests
    // and benchmarks that compare them, while no mixer processes.
    static Path UsePath(Path path) noexcept;
    // While one deck rests (its input held still, its states settled) and the other plays with
    // its band-pass or notch off and no gain moving, the playing deck runs alone, eight frames at
    // a time (see LoneDeckChain.h), and the resting deck adds what it last gave, which no longer
    // changes. The mix then differs from both decks' frame-by-frame run by rounding only: within
    // 2e-6 of full scale at full volume. Off, both decks always run; for tests that compare, while
    // no mixer processes.
    static void UseLoneDeck(bool use) noexcept;

    // The value SetParam takes for a control value: v / 255 for faders and knobs, 1.0 or 0 for
    // switches, and the mappings of "Monitor Output Mode", "Deck Punch In" and "X-Fader Mode".
    // Out-of-range control values are clamped.
    static float ValueFromControl(int number, int controlValue) noexcept;

    // Audio thread.
    // Non-finite values and numbers outside 0..39 are ignored.
    void SetParam(int number, float value) noexcept;
    // With null monitor outputs (2 and 3) the monitor mix is not formed; the main mix and the
    // meters are the same either way.
    void Process(const std::array<const float*, kInputs>& inputs, const std::array<float*, kOutputs>& outputs,
                 uint32_t frames) noexcept;

    // Any thread.
    // 0 .. 1 on the meter curve; see Meter.h for what each reading measures.
    float LevelReading(Meter meter) const noexcept;
    // The automatic level of deck 0 (A) or 1 (B), 0 .. 1, while "Auto Level Decks" is on.
    float AutoLevelGain(int deck) const noexcept;
    // The "Deck Volume" control value (0..255) whose gain on the volume curve comes nearest to
    // gainDb; steps are about 0.16 dB near unity, the curve ends at +10 dB.
    int DeckVolumeForGain(float gainDb) const noexcept;

private:
    // A gain that moves to its target in kRampFrames equal steps.
    struct Ramp {
        float current = 0;
        float target = 0;
        float increment = 0;
    };
    enum RampId : int {
        RampDeckVolumeA,
        RampDeckVolumeB,
        RampMainA,
        RampMainB,
        RampMaster,
        RampMonitorFadeA,
        RampMonitorFadeB,
        RampMonitorVolume,
        RampEqLowA,
        RampEqLowB,
        RampEqMidA,
        RampEqMidB,
        RampEqHighA,
        RampEqHighB,
        kRamps
    };
    struct FilterSetting {
        float note = 0;
        int column = 0;
        float columnFraction = 0;
        float frequency = 0; // coefficient f
        float damping = 2;   // coefficient q
    };
    struct Deck {
        float mode = -1;   // 1 band-pass, 2 notch; negative: bypassed, mode remembered
        float centre = 80; // note of filter 1
        float width = 120; // semitones from filter 1 to filter 2
        int row = 1;
        float rowFraction = 0;
        FilterSetting filter1;
        FilterSetting filter2;
        float fade = 0;                       // cross-fader share
        float mute = 1;                       // 0 muted
        float punch = 1;                      // punch-in factor
        float monitorFade = 0;                // monitor cross-fader share
        std::array<float, 3> eqGain{1, 2, 1}; // remembered band gains (mid doubled)
        std::array<bool, 3> eqKill{};
        bool pfl = false;
        float peak = 0;         // after deck volume, decays per period
        float preFaderPeak = 0; // before deck volume
        float displayed = 0;    // meter value of the peak
        float displayedPre = 0; // meter value of the pre-fader peak
        float autoGain = 0;     // 0 .. 1
    };
    // The four deck channels side by side (A left, A right, B left, B right), so every stage
    // is one 4-wide operation that the compiler turns into vector instructions.
    using Lanes = std::array<float, 4>;
    struct DeckChannels {
        Lanes dc{};                 // DC blocker states
        std::array<Lanes, 4> low{}; // the filter's four state-variable sections
        std::array<Lanes, 4> band{};
        std::array<Lanes, 4> eq{}; // s1 .. s4 of the two crossover stages
        Lanes peak{};              // after deck volume, decays per period
        Lanes preFaderPeak{};      // before deck volume
    };
    // Per-lane filter coefficients, rebuilt when a deck's filter changes.
    struct LaneFilters {
        Lanes frequency1{}, damping1{}, frequency2{}, damping2{};
    };

    enum class FilterKind { Off, BandPass, Notch, Mixed };
    using Inputs = std::array<const float*, kInputs>;
    using Outputs = std::array<float*, kOutputs>;
    using Vec4 = CLimiter::Vec4;
    struct Gains;
    static constexpr uint32_t kChunkFrames = 128;

    Gains RampGains(float Ramp::*field) const noexcept;
    void KeepGains(const Gains& gains) noexcept;
    // The frames of one chunk, the four lanes of each side by side.
    template <FilterKind Kind, bool Staggered>
    void ProcessFrames(const Vec4* in, Vec4* out, uint32_t frames, bool monitor) noexcept;
    void LimitFrames(Vec4* frames, uint32_t count, bool monitor) noexcept;
    // One segment in place, on the plain path or with AVX2 or AVX-512.
    using Run = void (CMixerDsp::*)(Vec4* frames, uint32_t count, bool monitor) noexcept;
    template <FilterKind Kind> void ProcessPlain(Vec4* frames, uint32_t count, bool monitor) noexcept;
    template <FilterKind Kind> void ProcessAvx2(Vec4* frames, uint32_t count, bool monitor) noexcept;
    template <FilterKind Kind> void ProcessAvx512(Vec4* frames, uint32_t count, bool monitor) noexcept;
    template <FilterKind Kind> static Run PathRun() noexcept;
    // The deck's band-pass or notch is on.
    bool Filtering(int deck) const noexcept
    {
        return m_decks[deck].mode == 1.0f || m_decks[deck].mode == 2.0f;
    }
    // The deck that may run alone for these frames, or -1.
    int LoneDeck(const Inputs& inputs, uint32_t offset, uint32_t count) const noexcept;
    // After both decks ran: which deck now rests, held still with states that hardly moved.
    void NoteSettled(const Inputs& inputs, uint32_t offset, uint32_t count,
                     const DeckChannels& before) noexcept;
    template <typename Wide>
    void ProcessLone(int deck, const Inputs& inputs, const Outputs& outputs, uint32_t offset, uint32_t count,
                     bool monitor) noexcept;
    using LoneRun = void (CMixerDsp::*)(int deck, const Inputs& inputs, const Outputs& outputs,
                                        uint32_t offset, uint32_t count, bool monitor) noexcept;
    void ProcessLonePlain(int deck, const Inputs& inputs, const Outputs& outputs, uint32_t offset,
                          uint32_t count, bool monitor) noexcept;
    void ProcessLoneAvx2(int deck, const Inputs& inputs, const Outputs& outputs, uint32_t offset,
                         uint32_t count, bool monitor) noexcept;
    void ProcessLoneAvx512(int deck, const Inputs& inputs, const Outputs& outputs, uint32_t offset,
                           uint32_t count, bool monitor) noexcept;
    static LoneRun LonePathRun() noexcept;
    void StartRamp() noexcept;
    void SetTarget(int ramp, float target) noexcept { m_ramps[ramp].target = target; }
    void UpdateMainTarget(int deck) noexcept;
    void SetCrossFader(float x, bool monitor) noexcept;
    void SetFilterNote(FilterSetting& filter, float note, const Deck& deck) noexcept;
    void SetResonance(Deck& deck, float resonance) noexcept;
    void UpdateCoefficients(FilterSetting& filter, const Deck& deck) noexcept;
    void SetEqBand(int deck, int band, float level) noexcept;
    void SetEqKill(int deck, int band, bool kill) noexcept;
    void ClearDeck(int deck) noexcept;
    void UpdateLaneFilters() noexcept;
    float DeckPeak(const Lanes& peaks, int deck) const noexcept;
    void PeriodStep() noexcept;
    float MeterOfPeak(float peak) const noexcept;
    void PublishReadings() noexcept;

    CMixerTables m_tables;
    std::array<Deck, 2> m_decks;
    DeckChannels m_lanes;
    LaneFilters m_laneFilters;
    std::array<Ramp, kRamps> m_ramps;
    int m_rampCounter = 0;
    CLimiter m_limiter;
    float m_masterPeak = 0;
    int m_overloadHold = 0;
    int m_periodCounter = kPeriodFrames;
    bool m_limiterFlag = false; // stored for the lamp; the limiter always runs
    int m_monitorMode = 0;      // 0 cue mix, 1 main mix, 2 split
    bool m_autoLevel = false;
    bool m_xFaderMode = false; // false raised cosine, true square root
    CLoneDeckChain m_loneChain;
    std::array<bool, 2> m_settled{}; // the deck rests, as of the last frames both decks ran
    Lanes m_restInput{};             // its input, held
    Lanes m_lastChain{};             // each lane's last output before the deck volume
    std::array<std::atomic<float>, kReadings> m_readings;
    std::array<std::atomic<float>, 2> m_autoGains;

    static std::atomic<Path> s_path;
    static std::atomic<bool> s_loneDeck;
};
