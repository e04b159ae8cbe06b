#include "FourChannelBlock.h"

CFourChannelBlock::CFourChannelBlock(uint32_t frames, MonoBlocks mono)
    : m_samples(std::make_unique<int16_t[]>(static_cast<size_t>(frames) * kChannels)), m_frames(frames),
      m_mono(mono)
{
}

int CFourChannelBlock::PutFirstPair(const void* samples, uint32_t bytes, uint32_t frames) noexcept
{
    if (frames > m_frames)
        return 1;
    for (uint32_t frame = 0; frame < frames; ++frame) {
        m_samples[frame * kChannels + 2] = 0;
        m_samples[frame * kChannels + 3] = 0;
    }
    m_commitFrames = frames;
    return PutPair(samples, bytes, frames, 0);
}

int CFourChannelBlock::PutSecondPair(const void* samples, uint32_t bytes, uint32_t frames) noexcept
{
    return PutPair(samples, bytes, frames, 2);
}

int CFourChannelBlock::PutPair(const void* samples, uint32_t bytes, uint32_t frames,
                               uint32_t firstChannel) noexcept
{
    if (frames > m_frames)
        return 1;
    const auto* in = static_cast<const int16_t*>(samples);
    int16_t* out = m_samples.get() + firstChannel;
    if (bytes >= frames * 4) {
        for (uint32_t frame = 0; frame < frames; ++frame, in += 2, out += kChannels) {
            out[0] = in[0];
            out[1] = in[1];
        }
    } else if (bytes >= frames * 2 && m_mono == MonoBlocks::OnBothSpeakers) {
        for (uint32_t frame = 0; frame < frames; ++frame, ++in, out += kChannels) {
            out[0] = in[0];
            out[1] = in[0];
        }
    } else {
        return 1;
    }
    return 0;
}
