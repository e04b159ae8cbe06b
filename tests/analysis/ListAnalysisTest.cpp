// The player's lists analysed in the background: what is queued, and how results go into entries.
#include "ListAnalysis.h"
#include "BeatTestSet.h"
#include "Playlist.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

std::string WriteBeatTrack(const CTempDir& dir, const std::string& name, double tempo)
{
    BeatTrackRecipe recipe;
    recipe.tempo = tempo;
    recipe.seconds = 12.0;
    recipe.introSeconds = 1.0;
    const StereoSignal signal = RenderBeatTrack(recipe);
    const std::string path = dir.Path(name);
    EXPECT_TRUE(WriteStereoWav16(path, signal.left, signal.right));
    return path;
}

// Applies results until every entry of list has been analysed, or 60 s went by.
bool ApplyUntilAnalysed(CListAnalysis& analysis, CPlaylist& list)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
        CPlaylist* lists[] = {&list};
        analysis.Apply(lists);
        bool all = true;
        for (int i = 0; i < list.Count(); ++i)
            all = all && !CListAnalysis::NeedsAnalysis(list, i);
        if (all && analysis.ProgressText().empty())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace

TEST(ListAnalysis, NewEntriesAreAnalysedOnceAndAListedTempoStaysUnlessAskedAgain)
{
    CTempDir dir;
    CListAnalysis analysis(dir.Path("cache.txt"), CAnalysisWorker::Priority::Normal);
    CPlaylist list;
    const int listed = list.AddTrack(WriteBeatTrack(dir, "listed.wav", 124.0), true);
    const int plain = list.AddTrack(WriteBeatTrack(dir, "plain.wav", 97.5), true);
    ASSERT_EQ(plain, 1);
    list.Entry(listed).tempo = 100.0f; // as the list or a tag gave it
    list.Entry(listed).tempoQuality = 1.0f;
    EXPECT_TRUE(analysis.ProgressText().empty());

    EXPECT_EQ(analysis.Queue(list, 0, list.Count(), false), 2);
    EXPECT_EQ(analysis.ProgressText().rfind("analysing ", 0), 0u) << analysis.ProgressText();
    ASSERT_TRUE(ApplyUntilAnalysed(analysis, list));
    EXPECT_FLOAT_EQ(list.Entry(listed).tempo, 100.0f);
    EXPECT_NEAR(list.Entry(plain).tempo, 97.5f, 0.05f);
    EXPECT_GT(list.Entry(plain).audibleEndMs, 12000.0);
    EXPECT_LT(list.Entry(plain).loudnessLufs, 0.0f);
    EXPECT_TRUE(list.Entry(plain).changed);
    // Analysed entries are not queued again by an add; asked for, the analysis replaces the tempo.
    EXPECT_EQ(analysis.Queue(list, 0, list.Count(), false), 0);
    list.ClearSelection();
    list.SetSelected(listed, true);
    EXPECT_EQ(analysis.QueueSelected(list), 1);
    ASSERT_TRUE(ApplyUntilAnalysed(analysis, list));
    EXPECT_NEAR(list.Entry(listed).tempo, 124.0f, 0.05f);
}

TEST(ListAnalysis, CdTracksMissingFilesAndEntriesGivenAnotherFile)
{
    CTempDir dir;
    CListAnalysis analysis({}, CAnalysisWorker::Priority::Normal);
    CPlaylist list;
    TrackEntry cd;
    cd.location = "/media/cdrom/Track01.cda";
    ASSERT_GE(list.AddCopy(cd), 0);
    EXPECT_EQ(analysis.Queue(list, 0, 1, true), 0) << "a disc's track is not read in the background";
    EXPECT_EQ(analysis.Queue(list, -5, 100, false), 0) << "ranges past the list are cut";

    const int gone = list.AddTrack(dir.Path("gone.wav"), false);
    const int moved = list.AddTrack(WriteBeatTrack(dir, "first.wav", 120.0), true);
    ASSERT_EQ(analysis.Queue(list, gone, 2, false), 2);
    list.Entry(moved).location = WriteBeatTrack(dir, "second.wav", 90.0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!analysis.ProgressText().empty() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    CPlaylist* lists[] = {&list};
    analysis.Apply(lists);
    EXPECT_TRUE(CListAnalysis::NeedsAnalysis(list, moved)) << "a result for the file it named before";
    EXPECT_EQ(list.Entry(moved).tempo, 0.0f);
    EXPECT_TRUE(CListAnalysis::NeedsAnalysis(list, gone));
}
