#pragma once

#include <cstdint>
#include <vector>

// Changes the sample rate of one channel by a fixed ratio with a Kaiser-windowed sinc, for a
// pro-audio server that does not run at the engine's rate. Output n stands for input time
// n x inputRate / outputRate exactly: the filter adds buffering but no delay to the signal.
//
// The filter is stored as a polyphase table. For the usual rate pairs the ratio reduces to few
// phases (44100 -> 48000 is 147 / 160) and every output uses an exact phase; an odd rate whose
// ratio needs more than kMaxExactPhases phases uses kInterpolatedPhases phases and interpolates
// linearly between neighbours. Plain linear interpolation was rejected: at 48000 Hz it leaves
// the image of a 15 kHz tone (folded to 18.9 kHz) only about 12 dB below the tone.
//
// Thread: Configure on the user-interface thread (it allocates); Process and Reset on the audio
// thread, where nothing allocates.
class CPolyphaseResampler {
public:
    // Taps at unit scale; downsampling widens the kernel by inputRate / outputRate. With the
    // Kaiser beta below this gives about 100 dB stopband and a 2.2 kHz wide transition (at
    // 44100 Hz) centred on kCutoff.
    static constexpr uint32_t kTaps = 128;
    static constexpr double kKaiserBeta = 10.0;
    // The cutoff as a share of the lower Nyquist frequency: 21 kHz at 44100 Hz, so the passband
    // reaches 20 kHz and the stopband starts at the Nyquist frequency.
    static constexpr double kCutoff = 0.952;
    static constexpr uint32_t kMaxExactPhases = 2048;
    static constexpr uint32_t kInterpolatedPhases = 1024;
    static constexpr uint32_t kMinRateHz = 1000;
    static constexpr uint32_t kMaxRateHz = 768000;

    // User-interface thread.
    // Sets up the ratio and the history for at most maxInputFrames inputs per Process; false
    // for a rate outside kMinRateHz .. kMaxRateHz.
    bool Configure(uint32_t inputRateHz, uint32_t outputRateHz, uint32_t maxInputFrames);
    uint32_t Taps() const noexcept { return m_taps; }
    uint32_t Phases() const noexcept { return m_phases; }

    // Audio thread.
    // Takes inputs samples, stride apart (16-bit scaled by 1/32768, or float), and writes up to
    // capacity outputs; returns the outputs written. Inputs beyond what capacity allows stay in
    // the history for the next call.
    uint32_t Process(const int16_t* input, uint32_t stride, uint32_t inputs, float* output,
                     uint32_t capacity) noexcept;
    uint32_t Process(const float* input, uint32_t stride, uint32_t inputs, float* output,
                     uint32_t capacity) noexcept;
    // Silence as history, output 0 at input 0.
    void Reset() noexcept;

private:
    template <class Sample> bool Append(const Sample* input, uint32_t stride, uint32_t inputs) noexcept;
    uint32_t Produce(float* output, uint32_t capacity) noexcept;

    uint32_t m_taps = 0;          // a multiple of 4; kTaps, or more when downsampling
    uint32_t m_phases = 0;        // rows of the table, less the closing one
    uint32_t m_step = 1;          // input rate / gcd: position advance per output, in 1/m_sub units
    uint32_t m_sub = 1;           // output rate / gcd: subdivisions of one input sample
    std::vector<float> m_table;   // (m_phases + 1) rows of m_taps coefficients
    std::vector<float> m_history; // input samples; the next output centres on m_index
    uint32_t m_fill = 0;          // samples held in m_history
    uint32_t m_index = 0;         // history index of the input at or before the next output
    uint32_t m_subPosition = 0;   // 0 .. m_sub - 1: how far past m_index the next output lies
};
