#pragma once

#include "AudioSource.h"

#include <cmath>

// A minute of a chord at 44100 Hz, computed per block, for benchmarks that fill decks without a
// file: the refill that fills them is not what they measure.
class CBenchChordSource : public CAudioSource {
public:
    uint16_t GetSampleRate() const override { return 44100; }
    int Open(const char*) override { return 1; }
    int GetBlockFrames() const override { return 1024; }
    int GetBlockCount() const override { return 60 * 44100 / 1024; }
    void SeekBlock(int index) override { m_block = index; }
    int GetCurrentBlock() const override { return m_block; }
    float GetBlockDuration() const override { return 1024000.0f / 44100.0f; }
    int ReadBlock(int16_t* left, int16_t* right) override
    {
        for (int i = 0; i < 1024; ++i) {
            const double t = (m_block * 1024.0 + i) / 44100.0;
            // Low and high partials on both sides, so every equaliser band and filter has work.
            left[i] = static_cast<int16_t>(14000 * std::sin(2 * M_PI * 110 * t) +
                                           9000 * std::sin(2 * M_PI * 1650 * t));
            right[i] = static_cast<int16_t>(14000 * std::sin(2 * M_PI * 165 * t) +
                                            9000 * std::sin(2 * M_PI * 5000 * t));
        }
        ++m_block;
        return 1;
    }

private:
    int m_block = 0;
};
