#include "AnalysisWorker.h"
#include "BeatTestSet.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>

namespace {

constexpr auto kDeadline = std::chrono::seconds(120);

std::string WriteDrums(const CTempDir& dir, const std::string& name, double tempo, double seconds)
{
    BeatTrackRecipe recipe;
    recipe.tempo = tempo;
    recipe.seconds = seconds;
    const StereoSignal signal = RenderBeatTrack(recipe);
    const std::string path = dir.Path(name);
    EXPECT_TRUE(WriteStereoWav16(path, signal.left, signal.right));
    return path;
}

} // namespace

// Results come back for their entries through the outbox; a second worker on the same cache
// file answers from it without reading the tracks: a track whose samples changed behind an
// unchanged size and time still gets its first figures.
TEST(AnalysisWorker, AnalysesInTheBackgroundAndRemembers)
{
    CTempDir dir;
    const std::string first = WriteDrums(dir, "a.wav", 125.0, 20.0);
    const std::string second = WriteDrums(dir, "b.wav", 96.0, 20.0);
    const std::string cache = dir.Path("cache.txt");
    std::atomic<int> notified{0};
    std::vector<CAnalysisWorker::Result> results;
    {
        CAnalysisWorker worker(cache, CAnalysisWorker::Priority::Normal, [&] { notified.fetch_add(1); });
        worker.Add({{7, first, false}, {9, second, false}, {11, dir.Path("missing.wav"), false}});
        ASSERT_TRUE(worker.WaitIdle(kDeadline));
        results = worker.TakeResults();
        EXPECT_EQ(worker.GetProgress().total, 0) << "idle";
    }
    EXPECT_EQ(notified.load(), 3);
    ASSERT_EQ(results.size(), 3u);
    std::sort(results.begin(), results.end(),
              [](const auto& x, const auto& y) { return x.entryId < y.entryId; });
    EXPECT_NEAR(results[0].analysis.tempo, 125.0, 0.05);
    EXPECT_NEAR(results[1].analysis.tempo, 96.0, 0.05);
    EXPECT_EQ(results[2].analysis.status, AnalysisStatus::Unreadable);

    struct stat before {};
    ASSERT_EQ(::stat(first.c_str(), &before), 0);
    WriteDrums(dir, "a.wav", 140.0, 20.0); // same length, so the same size
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, first.c_str(), times, 0), 0);
    CAnalysisWorker again(cache, CAnalysisWorker::Priority::Normal);
    again.Add({{7, first, false}});
    ASSERT_TRUE(again.WaitIdle(kDeadline));
    const auto cached = again.TakeResults();
    ASSERT_EQ(cached.size(), 1u);
    EXPECT_NEAR(cached[0].analysis.tempo, 125.0, 0.05) << "from the cache, not the changed file";
    again.Add({{7, first, true}});
    ASSERT_TRUE(again.WaitIdle(kDeadline));
    const auto redone = again.TakeResults();
    ASSERT_EQ(redone.size(), 1u);
    EXPECT_NEAR(redone[0].analysis.tempo, 140.0, 0.05) << "asked again: read anew";
}

// Progress counts the batch; ending the worker mid-track stops it without waiting for the track.
TEST(AnalysisWorker, CountsTheBatchAndStopsAtOnce)
{
    CTempDir dir;
    const std::string track = WriteDrums(dir, "long.wav", 120.0, 240.0);
    const auto started = std::chrono::steady_clock::now();
    {
        CAnalysisWorker worker(""); // idle priority: it may not have started at all
        worker.Add({{1, track, false}, {2, track, false}, {3, track, false}});
        const CAnalysisWorker::Progress progress = worker.GetProgress();
        EXPECT_EQ(progress.total, 3);
        EXPECT_LT(progress.done, 3);
    }
    // Three 4-minute tracks would take several seconds; the destructor's cancel takes one block.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}
