#include "AnalysisCache.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

namespace {

TrackAnalysis SomeAnalysis()
{
    TrackAnalysis analysis;
    analysis.status = AnalysisStatus::Done;
    analysis.sampleRate = 44100;
    analysis.framesRead = 441000;
    analysis.tempo = 123.45f;
    analysis.tempoQuality = 0.9f;
    analysis.firstBeatFrame = 2205;
    analysis.loudnessLufs = -9.5;
    analysis.truePeakDb = 0.3;
    analysis.firstAudibleFrame = 100;
    analysis.lastAudibleFrame = 440000;
    return analysis;
}

} // namespace

// A saved cache reads back with every figure; a track changed since (another size or time) is
// not found.
TEST(AnalysisCache, KeepsResultsUntilTheFileChanges)
{
    CTempDir dir;
    const std::string track = dir.Path("track.wav");
    ASSERT_TRUE(WriteFile(track, std::vector<uint8_t>(100, 1)));
    const auto key = CAnalysisCache::KeyOf(track);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->sizeBytes, 100);

    CAnalysisCache cache;
    cache.Store(*key, SomeAnalysis());
    TrackAnalysis cancelled = SomeAnalysis();
    cancelled.status = AnalysisStatus::Cancelled;
    cache.Store({dir.Path("other.wav"), 1, 1}, cancelled);
    const std::string cachePath = dir.Path("analysis.txt");
    ASSERT_TRUE(cache.Save(cachePath));

    CAnalysisCache loaded;
    ASSERT_TRUE(loaded.Load(cachePath));
    EXPECT_EQ(loaded.Size(), 1u) << "a cancelled analysis is not kept";
    const auto found = loaded.Find(*key);
    ASSERT_TRUE(found.has_value());
    EXPECT_FLOAT_EQ(found->tempo, 123.45f);
    EXPECT_NEAR(found->tempoQuality, 0.9f, 0.001);
    EXPECT_EQ(found->firstBeatFrame, 2205);
    EXPECT_NEAR(found->loudnessLufs, -9.5, 0.001);
    EXPECT_NEAR(found->truePeakDb, 0.3, 0.001);
    EXPECT_EQ(found->firstAudibleFrame, 100);
    EXPECT_EQ(found->lastAudibleFrame, 440000);
    EXPECT_EQ(found->framesRead, 441000);

    ASSERT_TRUE(WriteFile(track, std::vector<uint8_t>(101, 1)));
    EXPECT_FALSE(loaded.Find(*CAnalysisCache::KeyOf(track)).has_value());
    ASSERT_TRUE(WriteFile(track, std::vector<uint8_t>(100, 1)));
    const utimbuf times{1000, 1000};
    ASSERT_EQ(::utime(track.c_str(), &times), 0);
    EXPECT_FALSE(loaded.Find(*CAnalysisCache::KeyOf(track)).has_value());
}

// A corrupt cache file is ignored (and written anew by the next save); lines that do not read are
// skipped while the good ones around them stay.
TEST(AnalysisCache, IgnoresCorruptFilesAndLines)
{
    CTempDir dir;
    const std::string cachePath = dir.Path("analysis.txt");
    const std::vector<std::pair<std::string, size_t>> cases = {
        {"", 0},
        {"garbage\n1\t2\t3\n", 0},
        {"quandel-analysis 1\n1\t2\t0\t44100\t10\t120.0000\t0.500\t0\t-14.000\t-1.000\t0\t9\t/a.wav\n", 1},
        {"quandel-analysis "
         "1\nnot\ta\tline\n1\t2\t0\t44100\t10\t120.0000\t0.500\t0\t-14.000\t-1.000\t0\t9\t/a.wav\n"
         "1\t2\t9\t44100\t10\t120\t0.5\t0\t-14\t-1\t0\t9\t/bad-status.wav\n"
         "1\t2\t0\t44100\t10\tinf\t0.5\t0\t-14\t-1\t0\t9\t/bad-tempo.wav\n"
         "1\t2\t0\t44100\t10\t120\t0.5\t0\t-14\t-1\t0\t9\t\n",
         1},
        {"quandel-analysis 1\n1\t2\t0\t44100\t10\t120.0000\t0.5", 0},
    };
    for (const auto& [text, entries] : cases) {
        ASSERT_TRUE(WriteFile(cachePath, std::vector<uint8_t>(text.begin(), text.end())));
        CAnalysisCache cache;
        cache.Load(cachePath);
        EXPECT_EQ(cache.Size(), entries) << text;
        cache.Store({"/b.wav", 5, 6}, SomeAnalysis());
        ASSERT_TRUE(cache.Save(cachePath));
        CAnalysisCache rebuilt;
        EXPECT_TRUE(rebuilt.Load(cachePath));
        EXPECT_EQ(rebuilt.Size(), entries + 1);
    }
    CAnalysisCache missing;
    EXPECT_FALSE(missing.Load(dir.Path("missing.txt")));
    EXPECT_FALSE(CAnalysisCache::KeyOf(dir.Path("missing.wav")).has_value());
}
