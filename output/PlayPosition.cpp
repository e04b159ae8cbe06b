#include "PlayPosition.h"

uint32_t CPlayPosition::Report(uint32_t deviceFrames, uint32_t blockFrames) noexcept
{
    const uint32_t candidate = m_baseOffset + deviceFrames;
    uint32_t reported = candidate;
    if (static_cast<uint64_t>(candidate) + blockFrames < m_lastReported) {
        reported = m_lastReported + deviceFrames;
        m_baseOffset = m_lastReported;
    }
    m_lastReported = reported;
    return reported;
}
