// An Audio-CD track played through a deck: the deck's loader opens it by its path, the refill
// pulls sectors from the CD reader's ring, and the rendered samples are the image's.
#include "AudioBus.h"
#include "AudioEngine.h"
#include "CdDrive.h"
#include "CdReader.h"
#include "CdTestDisc.h"
#include "DeckPlayer.h"
#include "EngineTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <vector>

TEST(CdEngine, TrackPlaysWholeAndEqualsTheImagesSamples)
{
    CTempDir dir;
    // 600 sectors (8 s) is more than the source's ring and the first read-ahead together.
    const CTestDisc disc({{false, 200}, {true, 600}});
    CCdDrive::SetDiscImage(disc.Write(dir.Root()));
    ASSERT_EQ(CCdReader::Program().OpenAudioCd('D', true), 2);

    CAudioEngine engine;
    engine.LoadTrack(0, "D:\\Track02.cda", 0, 0, 0, false);
    ASSERT_TRUE(WaitFor([&] { return engine.LoadsCompleted() == 1; }));
    CDeckPlayer& deck = engine.Deck(0);
    ASSERT_TRUE(deck.Loaded());
    EXPECT_EQ(deck.Title(), "CD Track 2");
    const uint32_t frames = 600 * 588;
    ASSERT_EQ(deck.TrackFrames(), frames);
    deck.Play();

    // Block by block (8 ticks), waiting with a deadline until the refill thread has the frames
    // the block plays, as a real-time device gives it time.
    std::vector<int16_t> left;
    std::vector<int16_t> right;
    size_t played = 0; // frames of the ticks the deck rendered before it reported the end
    CAudioBus bus(44100, 1);
    ClientRecord record;
    const CSampleStore& store = deck.Store();
    for (int block = 0; block < 400 && !deck.EndReached(); ++block) {
        const bool ready = WaitFor([&] {
            const int64_t position = store.PlayPosition();
            const int64_t need = 8 * 128 + 64;
            const int64_t first = int64_t{store.WindowStart()} * store.FramesPerBlock();
            const int64_t last = int64_t{store.WindowEnd()} * store.FramesPerBlock();
            return position + need >= int64_t{store.EndFrame()}
                       ? last == int64_t{store.EndFrame()}
                       : position >= first && position + need <= last;
        });
        ASSERT_TRUE(ready) << "refill fell behind at block " << block;
        for (int t = 0; t < 8; ++t) {
            bus.Clear(0);
            if (deck.Render(record, bus, 0, 1) != 0)
                played = left.size() + CAudioBus::kTickFrames;
            AppendGroupTick(bus, 0, 0, left, right);
        }
    }
    EXPECT_TRUE(deck.EndReached());
    // The deck stops at the first tick it cannot fill with its look-ahead: the track's last
    // partial tick stays unplayed, as for every source.
    ASSERT_GE(played, frames - 2 * CAudioBus::kTickFrames);
    // The deck plays one frame late: output frame i + 1 is track frame i.
    for (uint32_t i = 0; i + 1 < played; ++i) {
        ASSERT_EQ(left[i + 1], disc.Sample(1, i, 0)) << "frame " << i;
        ASSERT_EQ(right[i + 1], disc.Sample(1, i, 1)) << "frame " << i;
    }
    deck.Unload();
    CCdReader::Program().CloseAudioCd();
    CCdDrive::SetDiscImage("");
}
