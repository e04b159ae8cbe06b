#include "ControlFunction.h"

CControlFunction::CControlFunction(const char* name, int32_t id, int channelCount, int32_t maximum,
                                   int32_t defaultValue)
    : m_name(name ? name : ""), m_id(id), m_channelCount(channelCount), m_maximum(maximum),
      m_default(defaultValue)
{
    for (int c = 0; c < kChannels; ++c) {
        m_values[c].store(defaultValue, std::memory_order_relaxed);
        m_flags[c].store(kApplyPending | kChanged, std::memory_order_relaxed);
    }
}

int32_t CControlFunction::Value(int channel) const noexcept
{
    return ValidChannel(channel) ? m_values[channel].load(std::memory_order_relaxed) : 0;
}

uint16_t CControlFunction::Flags(int channel) const noexcept
{
    return ValidChannel(channel) ? m_flags[channel].load(std::memory_order_relaxed) : 0;
}

void CControlFunction::Set(int channel, int32_t value, Marks marks) noexcept
{
    if (!ValidChannel(channel))
        return;
    // The value is stored before the marks, so the host never applies an older value.
    m_values[channel].store(value, std::memory_order_release);
    // The enum's bits are the flag word's bits.
    const auto bits = static_cast<uint16_t>(marks);
    if (bits != 0)
        m_flags[channel].fetch_or(bits, std::memory_order_acq_rel);
}

static_assert(static_cast<uint16_t>(Marks::Apply) == CControlFunction::kApplyPending &&
              static_cast<uint16_t>(Marks::Changed) == CControlFunction::kChanged);

bool CControlFunction::CompareAndSet(int channel, int32_t expected, int32_t value, Marks marks) noexcept
{
    if (!ValidChannel(channel) ||
        !m_values[channel].compare_exchange_strong(expected, value, std::memory_order_acq_rel))
        return false;
    // The enum's bits are the flag word's bits.
    const auto bits = static_cast<uint16_t>(marks);
    if (bits != 0)
        m_flags[channel].fetch_or(bits, std::memory_order_acq_rel);
    return true;
}

bool CControlFunction::TakeApplyPending(int channel) noexcept
{
    if (!ValidChannel(channel))
        return false;
    // Looked at first: most functions are not pending most ticks, and a plain load costs far
    // less than the locked and-store. A mark set after the load is taken next time.
    if ((m_flags[channel].load(std::memory_order_acquire) & kApplyPending) == 0)
        return false;
    const uint16_t before =
        m_flags[channel].fetch_and(static_cast<uint16_t>(~kApplyPending), std::memory_order_acq_rel);
    return (before & kApplyPending) != 0;
}

bool CControlFunction::TakeChanged(int channel) noexcept
{
    if (!ValidChannel(channel))
        return false;
    const uint16_t before =
        m_flags[channel].fetch_and(static_cast<uint16_t>(~kChanged), std::memory_order_acq_rel);
    return (before & kChanged) != 0;
}
