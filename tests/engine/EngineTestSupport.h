#pragma once

#include "AudioSource.h"
#include "PlayClock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CAudioBus;
class CDeckPlayer;

// A track made of a formula: frame i has left Signal(i) and right -Signal(i) (opposite signs
// keep the channels apart). It can refuse one block once, as a CD sector not yet read would.
class CSignalSource : public CAudioSource {
public:
    using Signal = std::function<int16_t(uint32_t frame)>;

    CSignalSource(uint32_t frames, Signal signal, uint16_t rate = 44100, int blockFrames = 1024);

    const char* GetTitle() const override { return "signal"; }
    uint16_t GetSampleRate() const override { return m_rate; }
    int Open(const char*) override { return 1; }
    int GetBlockFrames() const override { return m_blockFrames; }
    int GetBlockCount() const override;
    void SeekBlock(int index) override { m_block = index; }
    int GetCurrentBlock() const override { return m_block; }
    float GetBlockDuration() const override { return m_blockFrames * 1000.0f / m_rate; }
    int ReadBlock(int16_t* left, int16_t* right) override;

    void FailOnceAt(int block) { m_failAt = block; }
    // Right equal to left, for measurements of the mono sum.
    void SameSignOnBothChannels() { m_rightSign = 1; }
    int BlocksRead() const { return m_blocksRead; }

private:
    uint32_t m_frames;
    Signal m_signal;
    uint16_t m_rate;
    int m_blockFrames;
    int m_block = 0;
    int m_failAt = -1;
    int m_blocksRead = 0;
    int m_rightSign = -1;
};

// Signals: a frame counter that wraps every 30000 frames, so a sample tells which frame it came
// from; silence; a sine.
int16_t FrameCode(uint32_t frame);
int16_t Sine(uint32_t frame, double hz, double amplitude = 16000.0, double rate = 44100.0);

// Loads a signal source into the deck and refills until the window stops growing.
void LoadSignal(CDeckPlayer& deck, uint32_t frames, CSignalSource::Signal signal, uint16_t rate = 44100,
                int blockFrames = 1024);
void RefillFully(CDeckPlayer& deck);

// What a deck rendered into group 0 of a one-tick bus, tick after tick.
struct RenderedAudio {
    std::vector<int16_t> left;
    std::vector<int16_t> right;
    std::vector<int> results;        // Render's result per tick
    std::vector<uint32_t> positions; // play position after each tick
    int steps = 0;                   // refill steps taken, where a test counts them
};
RenderedAudio RenderDeck(CDeckPlayer& deck, int ticks);

// A play clock the test moves by hand.
class CManualClock : public CPlayClock {
public:
    uint32_t PlayClockMs() const noexcept override { return m_ms.load(); }
    void Set(uint32_t ms) { m_ms.store(ms); }

private:
    std::atomic<uint32_t> m_ms{0};
};

// Amplitude of the component at hz in samples[from ..] (a single-bin Fourier measure; use a
// stretch of whole periods, or many of them, for an exact figure).
double ToneAmplitude(const std::vector<int16_t>& samples, double hz, size_t from = 0, double rate = 44100.0);
double ToneAmplitude(const std::vector<float>& samples, double hz, size_t from = 0, double rate = 44100.0);

// Waits until done() holds or the deadline passes; true when it held.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000);

// The main (or monitor) pair of the engine's groups for a tick, after the engine rendered.
void AppendGroupTick(const CAudioBus& bus, uint8_t group, uint32_t tick, std::vector<int16_t>& left,
                     std::vector<int16_t>& right);
