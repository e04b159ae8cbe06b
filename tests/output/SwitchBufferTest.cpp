// The buffer switch's arithmetic, driven by a scripted server: each switch renders the ticks
// the switch asks for (a ramp, so every frame is recognisable), appends them as the driver's
// Write does and hands one server buffer on.
#include "SwitchBuffer.h"
#include "PolyphaseResampler.h"

#include <gtest/gtest.h>

#include <vector>

TEST(SwitchBuffer, BlockAndBufferFollowThePreferredAndLargestServerBuffer)
{
    struct Case {
        uint32_t preferred, maximum;
        bool resampling;
        uint32_t block, buffer;
    };
    for (const Case c :
         {Case{256, 2048, false, 256, 256}, Case{300, 2048, false, 384, 384}, Case{300, 300, false, 512, 300},
          Case{1024, 1024, false, 1024, 1024}, Case{1024, 1024, true, 1152, 1024},
          Case{64, 64, false, 256, 64}, Case{16384, 16384, true, 16384, 16384}}) {
        const CSwitchBuffer::Sizes sizes = CSwitchBuffer::SizesFor(c.preferred, c.maximum, c.resampling);
        EXPECT_EQ(sizes.blockFrames, c.block) << c.preferred << "/" << c.maximum;
        EXPECT_EQ(sizes.bufferFrames, c.buffer) << c.preferred << "/" << c.maximum;
    }
    EXPECT_EQ(CSwitchBuffer::TicksFor(256, 0), 2u);
}

TEST(SwitchBuffer, ServerBufferOf300FillsEverySwitchWithTheCarriedCountCycling)
{
    const CSwitchBuffer::Sizes sizes = CSwitchBuffer::SizesFor(300, 300, false);
    ASSERT_EQ(sizes.blockFrames, 512u);
    CSwitchBuffer buffer;
    buffer.Configure(CSwitchBuffer::CapacityFor(sizes.bufferFrames, 44100, 44100));
    std::vector<int16_t> block(2 * sizes.blockFrames);
    std::vector<float> left(300);
    std::vector<float> right(300);
    std::vector<uint32_t> carried;
    uint32_t rendered = 0;  // frames rendered so far: the ramp's value
    uint32_t delivered = 0; // frames the server received so far
    for (int cycle = 0; cycle < 9; ++cycle) {
        const uint32_t ticks = CSwitchBuffer::TicksFor(300, buffer.Carried());
        ASSERT_LE(ticks * 128, sizes.blockFrames);
        for (uint32_t i = 0; i < ticks * 128; ++i) {
            block[2 * i] = static_cast<int16_t>(rendered + i);
            block[2 * i + 1] = static_cast<int16_t>(-static_cast<int>(rendered + i));
        }
        ASSERT_EQ(buffer.AppendSamples(block.data(), ticks * 128, true), ticks * 128);
        rendered += ticks * 128;
        ASSERT_EQ(buffer.Deliver(left.data(), right.data(), 300), 300u);
        for (uint32_t i = 0; i < 300; ++i) {
            ASSERT_EQ(left[i] * 32768.0f, static_cast<float>(delivered + i)) << "cycle " << cycle;
            ASSERT_EQ(right[i] * 32768.0f, -static_cast<float>(delivered + i)) << "cycle " << cycle;
        }
        delivered += 300;
        carried.push_back(buffer.Carried());
    }
    EXPECT_EQ(carried, (std::vector<uint32_t>{84, 40, 124, 80, 36, 120, 76, 32, 116}));
}

TEST(SwitchBuffer, ResamplingAtAnyServerRateFillsEverySwitchWithinTheCapacity)
{
    // Rates above and below the engine's, with and without a short ratio, and buffers from the
    // smallest a server offers to large ones.
    for (const uint32_t rate : {48000u, 96000u, 192000u, 47999u, 32000u, 22050u, 8000u}) {
        for (const uint32_t bufferFrames : {32u, 64u, 300u, 1024u, 4096u}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, buffer " << bufferFrames);
            const uint32_t inputFrames = CSwitchBuffer::InputFramesFor(bufferFrames, 44100, rate);
            // More than the largest block per switch (8000 Hz with 4096 frames): the driver
            // refuses to open.
            if (inputFrames + 128 > CSwitchBuffer::kMaxBlockFrames)
                continue;
            const uint32_t blockFrames = CSwitchBuffer::SizesFor(inputFrames, bufferFrames, true).blockFrames;
            CSwitchBuffer buffer;
            const uint32_t capacity = CSwitchBuffer::CapacityFor(bufferFrames, 44100, rate);
            buffer.Configure(capacity);
            CPolyphaseResampler resampler;
            ASSERT_TRUE(resampler.Configure(44100, rate, blockFrames));
            std::vector<int16_t> block(blockFrames);
            std::vector<float> out(bufferFrames);
            // Long enough for the carried count to go round its pattern and for the
            // resampler's start-up (its taps span several small buffers) to pass.
            const int switches = std::max<int>(60, 4 * static_cast<int>(resampler.Taps() / bufferFrames + 1));
            for (int cycle = 0; cycle < switches; ++cycle) {
                const uint32_t ticks = CSwitchBuffer::TicksFor(bufferFrames, buffer.Carried(), 44100, rate);
                ASSERT_LE(ticks * 128, blockFrames);
                const uint32_t room = buffer.Room();
                const uint32_t produced =
                    resampler.Process(block.data(), 1, ticks * 128, buffer.Tail(0), room);
                ASSERT_LT(produced, room) << "the buffer would have dropped frames";
                buffer.Grow(produced);
                // The resampler holds its first outputs back for half its taps.
                const bool warm =
                    cycle * bufferFrames > 2 * resampler.Taps() * rate / 44100 + 2 * bufferFrames;
                const uint32_t copied = buffer.Deliver(out.data(), nullptr, bufferFrames);
                if (warm) {
                    ASSERT_EQ(copied, bufferFrames) << "cycle " << cycle;
                }
            }
        }
    }
}
