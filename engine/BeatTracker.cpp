#include "BeatTracker.h"

void CBeatTracker::Init(uint32_t sampleRate) noexcept
{
    // Counts first: a reader that still sees an old beat count would otherwise read beats of
    // the old track against the new rate.
    for (auto& count : m_beatCounts)
        count.store(0, std::memory_order_release);
    m_sampleRate.store(sampleRate, std::memory_order_relaxed);
    SetDetection(0.0f, 0.0f);
    m_phaseOrigin.store(0, std::memory_order_relaxed);
}

void CBeatTracker::SetDetection(float bpm, float confidence) noexcept
{
    m_bpm.store(bpm, std::memory_order_relaxed);
    m_confidence.store(confidence, std::memory_order_relaxed);
}

bool CBeatTracker::AppendBeat(int row, uint32_t frame) noexcept
{
    if (row < 0 || row >= kRows)
        return false;
    const int count = m_beatCounts[row].load(std::memory_order_relaxed);
    if (count >= kMaxBeats)
        return false;
    m_beats[row][count].store(frame, std::memory_order_relaxed);
    m_beatCounts[row].store(count + 1, std::memory_order_release);
    return true;
}

int CBeatTracker::BeatCount(int row) const noexcept
{
    return row >= 0 && row < kRows ? m_beatCounts[row].load(std::memory_order_acquire) : 0;
}

uint32_t CBeatTracker::Beat(int row, int index) const noexcept
{
    if (row < 0 || row >= kRows || index < 0 || index >= kMaxBeats)
        return 0;
    return m_beats[row][index].load(std::memory_order_relaxed);
}
