#pragma once

#include <array>
#include <atomic>
#include <cstdint>

// A deck's own view of its track's beat: a detected tempo with a confidence, two rows of beat
// positions and the frame the beat grid starts from. Tempo normally comes from the playlist;
// the deck prefers this detection only where its confidence beats the playlist's quality, and
// its phase grid follows the detected tempo from the phase origin once the confidence is above
// 0.01. An analysed track sets its tempo and first beat here when it loads; otherwise, after
// Init, the tracker reports no tempo, no confidence and no beats, and the deck falls back to a
// fixed 120 BPM grid.
//
// Storage is fixed at construction, so reads and writes never allocate; every field is an
// atomic, so the audio thread and the user-interface thread read without a lock.
class CBeatTracker {
public:
    static constexpr int kRows = 2;
    static constexpr int kMaxBeats = 1024; // per row

    // Loader thread, while the deck's load lock is held: forgets everything about the last
    // track. Readers running meanwhile see either the old or the empty state, field by field.
    void Init(uint32_t sampleRate) noexcept;

    // The analysis, one writer at a time: publishes what it found.
    void SetDetection(float bpm, float confidence) noexcept;
    void SetPhaseOrigin(uint32_t frame) noexcept { m_phaseOrigin.store(frame, std::memory_order_relaxed); }
    // Appends a beat at a track frame; false when the row is full or does not exist.
    bool AppendBeat(int row, uint32_t frame) noexcept;

    // Any thread: plain reads.
    uint32_t SampleRate() const noexcept { return m_sampleRate.load(std::memory_order_relaxed); }
    float Bpm() const noexcept { return m_bpm.load(std::memory_order_relaxed); }
    float Confidence() const noexcept { return m_confidence.load(std::memory_order_relaxed); }
    uint32_t PhaseOrigin() const noexcept { return m_phaseOrigin.load(std::memory_order_relaxed); }
    // Beats in a row; 0 for a row that does not exist.
    int BeatCount(int row) const noexcept;
    // Track frame of a beat; meaningful for an index below BeatCount(row), 0 outside the rows.
    uint32_t Beat(int row, int index) const noexcept;

private:
    std::atomic<uint32_t> m_sampleRate{44100}; // Hz, of the track the positions count in
    std::atomic<float> m_bpm{0.0f};            // detected tempo; 0 = none
    std::atomic<float> m_confidence{0.0f};     // 0 .. 1, same scale as the playlist's quality
    std::atomic<uint32_t> m_phaseOrigin{0};    // track frame of a beat the grid counts from
    // A beat is written before the count that covers it is released, so a reader that acquires
    // the count finds every beat below it.
    std::array<std::array<std::atomic<uint32_t>, kMaxBeats>, kRows> m_beats{};
    std::array<std::atomic<int>, kRows> m_beatCounts{};
};
