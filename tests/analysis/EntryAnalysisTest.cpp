#include "EntryAnalysis.h"
#include "TrackEntry.h"

#include <gtest/gtest.h>

namespace {

TrackAnalysis Found(float tempo)
{
    TrackAnalysis analysis;
    analysis.status = AnalysisStatus::Done;
    analysis.sampleRate = 48000;
    analysis.framesRead = 48000 * 200;
    analysis.tempo = tempo;
    analysis.tempoQuality = 0.75f;
    analysis.firstBeatFrame = tempo > 0.0f ? 4800 : -1;
    analysis.loudnessLufs = -8.0;
    analysis.truePeakDb = 0.4;
    analysis.firstAudibleFrame = 480;
    analysis.lastAudibleFrame = 48000 * 190 - 1;
    return analysis;
}

} // namespace

// A tempo from the list or a tag stays unless the user asked again; the beat phase is taken when
// the analysed grid has that tempo.
TEST(EntryAnalysis, ListedTempoStaysUnlessReplaced)
{
    struct Case {
        float listed;
        float found;
        TempoChoice choice;
        float tempo;
        double firstBeatMs;
    };
    const Case cases[] = {
        {0.0f, 126.0f, TempoChoice::KeepListed, 126.0f, 100.0},   // none listed: the analysis
        {128.0f, 126.0f, TempoChoice::KeepListed, 128.0f, -1.0},  // listed, another grid: no phase
        {126.2f, 126.0f, TempoChoice::KeepListed, 126.2f, 100.0}, // listed, same grid: its phase
        {128.0f, 126.0f, TempoChoice::Replace, 126.0f, 100.0},    // asked again
        {128.0f, 0.0f, TempoChoice::Replace, 128.0f, -1.0},       // no tempo found: kept
    };
    for (const Case& c : cases) {
        TrackEntry entry;
        entry.tempo = c.listed;
        CEntryAnalysis::Apply(Found(c.found), entry, c.choice);
        EXPECT_EQ(entry.tempo, c.tempo) << c.listed << " / " << c.found;
        EXPECT_DOUBLE_EQ(entry.firstBeatMs, c.firstBeatMs) << c.listed << " / " << c.found;
    }
}

TEST(EntryAnalysis, LoudnessRangeAndPlayTimeInMilliseconds)
{
    TrackEntry entry;
    CEntryAnalysis::Apply(Found(120.0f), entry, TempoChoice::KeepListed);
    EXPECT_FLOAT_EQ(entry.loudnessLufs, -8.0f);
    EXPECT_FLOAT_EQ(entry.truePeakDb, 0.4f);
    EXPECT_DOUBLE_EQ(entry.audibleStartMs, 10.0);
    EXPECT_DOUBLE_EQ(entry.audibleEndMs, 190000.0);
    EXPECT_EQ(entry.playTime, 200);
    EXPECT_FLOAT_EQ(entry.tempoQuality, 0.75f);

    // Silence measures nothing: the entry keeps what it had.
    TrackEntry silent;
    silent.playTime = 5;
    TrackAnalysis nothing;
    nothing.status = AnalysisStatus::Done;
    nothing.sampleRate = 44100;
    nothing.framesRead = 44100;
    CEntryAnalysis::Apply(nothing, silent, TempoChoice::Replace);
    EXPECT_EQ(silent.tempo, 0.0f);
    EXPECT_EQ(silent.loudnessLufs, 0.0f);
    EXPECT_EQ(silent.audibleStartMs, -1.0);
    EXPECT_EQ(silent.playTime, 5);
}
