#include "SwitchBuffer.h"

#include "AudioThread.h"

#include <algorithm>
#include <cstring>

CSwitchBuffer::Sizes CSwitchBuffer::SizesFor(uint32_t preferredFrames, uint32_t maximumFrames,
                                             bool resampling) noexcept
{
    preferredFrames = std::clamp<uint32_t>(preferredFrames, 1, kMaxBlockFrames);
    const uint32_t rounded = (preferredFrames + kTickFrames - 1) / kTickFrames * kTickFrames;
    if (resampling || maximumFrames < rounded)
        return {std::min(rounded + kTickFrames, kMaxBlockFrames), preferredFrames};
    return {rounded, rounded};
}

uint32_t CSwitchBuffer::TicksFor(uint32_t bufferFrames, uint32_t carriedFrames, uint32_t inputRateHz,
                                 uint32_t outputRateHz) noexcept
{
    if (carriedFrames >= bufferFrames)
        return 0;
    const uint32_t frames = InputFramesFor(bufferFrames - carriedFrames, inputRateHz, outputRateHz);
    return (frames + kTickFrames - 1) / kTickFrames;
}

uint32_t CSwitchBuffer::InputFramesFor(uint32_t bufferFrames, uint32_t inputRateHz,
                                       uint32_t outputRateHz) noexcept
{
    if (outputRateHz >= inputRateHz || outputRateHz == 0)
        return bufferFrames;
    return static_cast<uint32_t>((static_cast<uint64_t>(bufferFrames) * inputRateHz + outputRateHz - 1) /
                                 outputRateHz) +
           1;
}

uint32_t CSwitchBuffer::CapacityFor(uint32_t bufferFrames, uint32_t inputRateHz,
                                    uint32_t outputRateHz) noexcept
{
    // Before a switch fewer than bufferFrames are carried (or nothing is rendered), and the
    // switch renders less than bufferFrames + 128 output frames' worth of input; upsampling
    // stretches both. The 8 frames cover the resampler's rounding and the inputs it holds back.
    const uint64_t in = std::max<uint32_t>(inputRateHz, 1);
    const uint64_t out = outputRateHz;
    const uint64_t stretched = (static_cast<uint64_t>(bufferFrames + kTickFrames) * out + in - 1) / in;
    return static_cast<uint32_t>(std::max<uint64_t>(stretched, bufferFrames + kTickFrames) + 8);
}

void CSwitchBuffer::Configure(uint32_t capacityFrames)
{
    AssertNotAudioThread("CSwitchBuffer::Configure");
    for (auto& channel : m_channels)
        channel.assign(capacityFrames, 0.0f);
    m_capacity = capacityFrames;
    m_fill = 0;
}

void CSwitchBuffer::Grow(uint32_t frames) noexcept
{
    m_fill = std::min(m_fill + frames, m_capacity);
}

uint32_t CSwitchBuffer::AppendSamples(const int16_t* samples, uint32_t frames, bool stereo) noexcept
{
    const uint32_t taken = std::min(frames, Room());
    float* left = Tail(0);
    float* right = Tail(1);
    constexpr float kScale = 1.0f / 32768.0f;
    if (stereo) {
        for (uint32_t i = 0; i < taken; ++i) {
            left[i] = samples[2 * i] * kScale;
            right[i] = samples[2 * i + 1] * kScale;
        }
    } else {
        for (uint32_t i = 0; i < taken; ++i)
            left[i] = right[i] = samples[i] * kScale;
    }
    m_fill += taken;
    return taken;
}

uint32_t CSwitchBuffer::Deliver(float* left, float* right, uint32_t bufferFrames) noexcept
{
    const uint32_t copied = std::min(bufferFrames, m_fill);
    float* destinations[2] = {left, right};
    for (int c = 0; c < 2; ++c) {
        float* channel = m_channels[c].data();
        if (destinations[c] != nullptr)
            std::memcpy(destinations[c], channel, copied * sizeof(float));
        std::memmove(channel, channel + copied, (m_fill - copied) * sizeof(float));
    }
    m_fill -= copied;
    return copied;
}
