#include "CdTrackSource.h"
#include "AudioSource.h"
#include "CdDiscImage.h"
#include "CdDrive.h"
#include "CdReader.h"
#include "CdTestDisc.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace {

using Window = CCdTrackSource::Window;

// A mixed-mode disc: a data track, then two audio tracks.
const std::vector<CTestDisc::Track> kMixedMode = {{false, 1000}, {true, 22050}, {true, 1500}};

class CdTrackSourceTest : public ::testing::Test {
protected:
    void Insert(const std::vector<CTestDisc::Track>& tracks)
    {
        m_disc = std::make_unique<CTestDisc>(tracks);
        CCdDrive::SetDiscImage(m_disc->Write(m_dir.Root()));
        m_tracks = m_reader.OpenAudioCd('D', true);
    }
    void TearDown() override
    {
        m_reader.CloseAudioCd();
        CCdDrive::SetDiscImage("");
    }

    CCdDiscImage& Image() { return *m_reader.Drive().Image(); }

    // Reads sector s the way a deck does: seek, read, and again until the reader has it.
    bool ReadSector(CCdTrackSource& source, int sector, int16_t* left, int16_t* right)
    {
        return WaitUntil([&] {
            source.SeekBlock(sector);
            return source.ReadBlock(left, right) == CCdTrackSource::kSectorFrames;
        });
    }
    // Whether sector s of a track holds the image's samples, both channels.
    ::testing::AssertionResult SectorMatches(int track, int sector, const int16_t* left, const int16_t* right)
    {
        for (int i = 0; i < CCdTrackSource::kSectorFrames; ++i) {
            const auto frame = static_cast<uint32_t>(sector * 588 + i);
            if (left[i] != m_disc->Sample(track, frame, 0) || right[i] != m_disc->Sample(track, frame, 1))
                return ::testing::AssertionFailure()
                       << "track " << track << " sector " << sector << " frame " << i;
        }
        return ::testing::AssertionSuccess();
    }
    static bool Idle(const CCdTrackSource& source) { return source.ReadingWindow() == source.HeldWindow(); }

    CTempDir m_dir;
    std::unique_ptr<CTestDisc> m_disc;
    CCdReader& m_reader = CCdReader::Program();
    int m_tracks = 0;
    std::array<int16_t, 588> m_left{};
    std::array<int16_t, 588> m_right{};
};

} // namespace

TEST_F(CdTrackSourceTest, MixedModeDiscListsTheDataTrackWithoutLength)
{
    Insert(kMixedMode);
    ASSERT_EQ(m_tracks, 3);
    struct Case {
        int index;
        int result;
        int seconds;
    } const cases[] = {{0, 1, 0}, {1, 1, 294}, {2, 1, 20}, {3, 0, -1}, {-1, 0, -1}};
    for (const Case& c : cases) {
        int seconds = -1;
        EXPECT_EQ(m_reader.GetCdTrackLength(c.index, seconds), c.result) << c.index;
        EXPECT_EQ(seconds, c.seconds) << c.index;
    }
    // Open again without reopening: the loaded table answers.
    EXPECT_EQ(m_reader.OpenAudioCd('D', false), 3);
}

TEST_F(CdTrackSourceTest, DataOnlyDiscAndMissingDrivesGiveNoTracks)
{
    Insert({{false, 300}});
    EXPECT_EQ(m_tracks, 0);
    EXPECT_EQ(m_reader.OpenAudioCd('E', true), 0);
    int seconds = -1;
    EXPECT_EQ(m_reader.GetCdTrackLength(0, seconds), 0);
}

TEST_F(CdTrackSourceTest, OpensAudioTracksOnlyOfTheOpenDisc)
{
    Insert(kMixedMode);
    struct Case {
        const char* path;
        int result;
    } const cases[] = {
        {"D:\\Track01.cda", 0}, // the data track
        {"D:\\Track99.cda", 0}, {"D:\\Track00.cda", 0}, {"E:\\Track02.cda", 0},
        {"D:\\Track", 0},       {"D:\\TrackAB.cda", 0}, {"", 0},
        {"d:\\Track03.cda", 1}, {"D:\\Track02.cda", 1},
    };
    for (const Case& c : cases) {
        CCdTrackSource source;
        EXPECT_EQ(source.Open(c.path), c.result) << c.path;
    }
    std::unique_ptr<CAudioSource> source = CAudioSource::CreateForPath("D:\\Track02.CDA");
    ASSERT_NE(source, nullptr);
    ASSERT_EQ(source->Open("D:\\Track02.CDA"), 1);
    EXPECT_STREQ(source->GetTitle(), "CD Track 2");
    EXPECT_EQ(source->GetBlockCount(), 22050);
    EXPECT_EQ(source->GetBlockFrames(), 588);
    EXPECT_EQ(source->GetSampleRate(), 44100);
    EXPECT_NEAR(source->GetBlockDuration(), 13.333333f, 1e-5f);
    // Open waited for the first 256 sectors.
    ASSERT_EQ(source->ReadBlock(m_left.data(), m_right.data()), 588);
    EXPECT_TRUE(SectorMatches(1, 0, m_left.data(), m_right.data()));
    source->Close();
    EXPECT_EQ(source->GetTitle(), nullptr);

    m_reader.CloseAudioCd();
    CCdTrackSource closed;
    EXPECT_EQ(closed.Open("D:\\Track02.cda"), 0);
}

TEST_F(CdTrackSourceTest, SeeksPlanTheReadsAroundTheTarget)
{
    Insert(kMixedMode);
    struct Case {
        const char* name;
        int setup; // a seek first, waited out; -1 none
        int target;
        Window reading;
    } const cases[] = {
        {"100 past the held window reads on from its end", -1, 356, {0, 512}},
        {"200 past restarts at the target - 128", -1, 456, {328, 256}},
        {"inside, 246 ahead: a full step", -1, 10, {0, 384}},
        {"inside, 156 ahead: up to 384 ahead", -1, 100, {0, 480}},
        {"inside, 6 ahead: a full step", -1, 250, {0, 512}},
        {"28 before the held window reads backward", 456, 300, {72, 512}},
        {"228 before restarts", 456, 100, {0, 256}},
        {"inside, 60 behind: a full step backward", 5000, 4932, {4616, 512}},
    };
    for (const Case& c : cases) {
        CCdTrackSource source;
        ASSERT_EQ(source.Open("D:\\Track02.cda"), 1);
        ASSERT_EQ(source.HeldWindow(), (Window{0, 256}));
        if (c.setup >= 0) {
            source.SeekBlock(c.setup);
            ASSERT_TRUE(WaitUntil([&] { return Idle(source); })) << c.name;
        }
        source.SeekBlock(c.target);
        EXPECT_EQ(source.ReadingWindow(), c.reading) << c.name;
        ASSERT_TRUE(WaitUntil([&] { return Idle(source); })) << c.name;
        EXPECT_EQ(source.HeldWindow(), c.reading) << c.name;
        ASSERT_EQ(source.ReadBlock(m_left.data(), m_right.data()), 588) << c.name;
        EXPECT_TRUE(SectorMatches(1, c.target, m_left.data(), m_right.data())) << c.name;
    }
}

TEST_F(CdTrackSourceTest, PlayingThroughKeepsTheWindowWithinTheRing)
{
    Insert(kMixedMode);
    CCdTrackSource source;
    ASSERT_EQ(source.Open("D:\\Track03.cda"), 1);
    int largest = 0;
    for (int sector = 0; sector < 1500; ++sector) {
        ASSERT_TRUE(ReadSector(source, sector, m_left.data(), m_right.data())) << sector;
        ASSERT_TRUE(SectorMatches(2, sector, m_left.data(), m_right.data()));
        largest = std::max(largest, source.ReadingWindow().count);
    }
    EXPECT_EQ(largest, CCdTrackSource::kRingSectors);
    // Past the end nothing is delivered and nothing is asked of the drive.
    EXPECT_EQ(source.ReadBlock(m_left.data(), m_right.data()), 0);
    EXPECT_EQ(source.GetCurrentBlock(), 1501);
}

TEST_F(CdTrackSourceTest, TwoDecksReadingTwoTracksAreBothServed)
{
    Insert(kMixedMode);
    CCdTrackSource first;
    CCdTrackSource second;
    ASSERT_EQ(first.Open("D:\\Track02.cda"), 1);
    ASSERT_EQ(second.Open("D:\\Track03.cda"), 1);
    // Two slots only: a third deck is refused.
    CCdTrackSource third;
    EXPECT_EQ(third.Open("D:\\Track02.cda"), 0);
    std::array<int16_t, 588> left2{};
    std::array<int16_t, 588> right2{};
    for (int sector = 0; sector < 1500; ++sector) {
        ASSERT_TRUE(ReadSector(first, 3000 + sector, m_left.data(), m_right.data())) << sector;
        ASSERT_TRUE(ReadSector(second, sector, left2.data(), right2.data())) << sector;
        ASSERT_TRUE(SectorMatches(1, 3000 + sector, m_left.data(), m_right.data()));
        ASSERT_TRUE(SectorMatches(2, sector, left2.data(), right2.data()));
    }
}

TEST_F(CdTrackSourceTest, FailedReadDropsTheReadingWindowAndIsAskedForAgain)
{
    Insert(kMixedMode);
    const uint32_t trackStart = m_disc->TrackStart(1);
    for (const int failures : {2, 3}) {
        CCdTrackSource source;
        ASSERT_EQ(source.Open("D:\\Track02.cda"), 1);
        Image().InjectReadErrors(trackStart + 300, failures);
        source.SeekBlock(200); // 56 ahead: 256 more from sector 256
        ASSERT_TRUE(WaitUntil([&] { return Idle(source); }));
        const bool recovered = failures < CCdDrive::kAttempts;
        EXPECT_EQ(source.HeldWindow(), (recovered ? Window{0, 512} : Window{0, 256})) << failures;
        ASSERT_TRUE(ReadSector(source, 300, m_left.data(), m_right.data())) << failures;
        EXPECT_TRUE(SectorMatches(1, 300, m_left.data(), m_right.data())) << failures;
    }
}

TEST_F(CdTrackSourceTest, SeekAwayAbortsTheRangeBeingRead)
{
    Insert(kMixedMode);
    CCdTrackSource source;
    ASSERT_EQ(source.Open("D:\\Track02.cda"), 1);
    const uint64_t before = Image().SectorsRead();
    Image().HoldReads(true);
    source.SeekBlock(200); // asks for sectors 256..511
    source.SeekBlock(5000);
    EXPECT_EQ(source.ReadingWindow(), (Window{4872, 256}));
    Image().HoldReads(false);
    ASSERT_TRUE(WaitUntil([&] { return Idle(source) && source.HeldWindow().count > 0; }));
    EXPECT_EQ(source.HeldWindow(), (Window{4872, 256}));
    // Of the abandoned range at most the chunk under way was read.
    EXPECT_LE(Image().SectorsRead() - before, 256u + CCdDrive::kSectorsPerRead);
    ASSERT_TRUE(ReadSector(source, 5000, m_left.data(), m_right.data()));
    EXPECT_TRUE(SectorMatches(1, 5000, m_left.data(), m_right.data()));
}
