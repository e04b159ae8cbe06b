#include "PlayedFrameClock.h"

#include <algorithm>
#include <chrono>

namespace {

uint32_t SteadyMicros() noexcept
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

constexpr uint32_t kMicrosMask = 0x7FFFFFFF; // 31 bits: wraps after 35 minutes

} // namespace

void CPlayedFrameClock::SetFormat(uint32_t rateHz, uint32_t blockFrames) noexcept
{
    m_rateHz = rateHz != 0 ? rateHz : 44100;
    m_blockFrames = blockFrames;
}

void CPlayedFrameClock::Reset() noexcept
{
    m_snapshot.store(0, std::memory_order_relaxed);
    m_lastAnswer.store(0, std::memory_order_relaxed);
}

void CPlayedFrameClock::Publish(uint32_t frames, bool playing) noexcept
{
    const uint64_t stamp = static_cast<uint64_t>(SteadyMicros() & kMicrosMask) << 1 | (playing ? 1 : 0);
    m_snapshot.store(static_cast<uint64_t>(frames) << 32 | stamp, std::memory_order_release);
}

uint32_t CPlayedFrameClock::PublishedFrames() const noexcept
{
    return static_cast<uint32_t>(m_snapshot.load(std::memory_order_relaxed) >> 32);
}

uint32_t CPlayedFrameClock::Position() const noexcept
{
    const uint64_t snapshot = m_snapshot.load(std::memory_order_acquire);
    uint32_t frames = static_cast<uint32_t>(snapshot >> 32);
    if ((snapshot & 1) != 0) {
        const uint32_t elapsedMicros = (SteadyMicros() - static_cast<uint32_t>(snapshot >> 1)) & kMicrosMask;
        const uint64_t played = static_cast<uint64_t>(elapsedMicros) * m_rateHz / 1000000;
        frames += static_cast<uint32_t>(std::min<uint64_t>(played, m_blockFrames));
    }
    uint32_t last = m_lastAnswer.load(std::memory_order_relaxed);
    while (static_cast<int32_t>(frames - last) > 0 &&
           !m_lastAnswer.compare_exchange_weak(last, frames, std::memory_order_relaxed)) {
    }
    return static_cast<int32_t>(frames - last) > 0 ? frames : last;
}
