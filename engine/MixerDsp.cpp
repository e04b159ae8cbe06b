#include "MixerDsp.h"

#include <algorithm>
#include <cmath>

CMixerDsp::CMixerDsp()
{
    for (auto& reading : m_readings)
        reading.store(0.0f, std::memory_order_relaxed);
}

void CMixerDsp::SetParam(int number, float value) noexcept
{
    if (number >= 0 && number < kParams && std::isfinite(value))
        m_params[number] = value;
}

float CMixerDsp::GetParam(int number) const noexcept
{
    return number >= 0 && number < kParams ? m_params[number] : 0.0f;
}

void CMixerDsp::Process(const std::array<const float*, kInputs>& inputs,
                        const std::array<float*, kOutputs>& outputs, uint32_t frames) noexcept
{
    std::array<float, kOutputs> peaks{};
    for (int c = 0; c < kOutputs; ++c) {
        for (uint32_t i = 0; i < frames; ++i) {
            const float value = std::clamp(inputs[c][i], -1.0f, 1.0f);
            outputs[c][i] = value;
            peaks[c] = std::max(peaks[c], std::fabs(value));
        }
    }
    const float deckA = std::max(peaks[0], peaks[1]);
    const float deckB = std::max(peaks[2], peaks[3]);
    m_readings[0].store(deckA, std::memory_order_relaxed);
    m_readings[1].store(deckB, std::memory_order_relaxed);
    m_readings[2].store(deckA, std::memory_order_relaxed);
    m_readings[3].store(deckB, std::memory_order_relaxed);
    m_readings[4].store(deckA, std::memory_order_relaxed);
    m_readings[5].store(0.0f, std::memory_order_relaxed);
}

float CMixerDsp::LevelReading(int k) const noexcept
{
    return k >= 0 && k < kReadings ? m_readings[k].load(std::memory_order_relaxed) : 0.0f;
}
