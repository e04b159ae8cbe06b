#pragma once

#include <cstddef>
#include <cstdint>

// A typedef of an unnamed struct: it cannot be declared forward.
#include <ebur128.h>

// EBU R128 integrated loudness and true peak of a stereo signal fed in pieces (libebur128).
class CLoudnessMeter {
public:
    explicit CLoudnessMeter(uint32_t sampleRate);
    ~CLoudnessMeter();
    CLoudnessMeter(const CLoudnessMeter&) = delete;
    CLoudnessMeter& operator=(const CLoudnessMeter&) = delete;

    // Interleaved left/right frames.
    void Add(const int16_t* interleaved, size_t frames);
    // LUFS; kNone for silence or nothing fed.
    double IntegratedLufs() const;
    // dBTP of the louder channel; kNone for silence.
    double TruePeakDb() const;

    static constexpr double kNone = -200.0;

private:
    ebur128_state* m_state = nullptr; // owned; null when the library refused the rate
};
