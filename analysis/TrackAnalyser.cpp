#include "TrackAnalyser.h"

#include "AudioSource.h"
#include "LoudnessMeter.h"
#include "TempoTracker.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

TrackAnalysis CTrackAnalyser::Analyse(const char* path, const std::atomic<bool>* cancel)
{
    TrackAnalysis result;
    std::unique_ptr<CAudioSource> source = CAudioSource::CreateForPath(path);
    if (source == nullptr) {
        result.error = "no reader for this kind of file";
        return result;
    }
    if (source->Open(path) == 0) {
        const char* why = source->GetOpenError();
        result.error = why != nullptr ? why : "the file did not open";
        return result;
    }
    const int blockFrames = source->GetBlockFrames();
    const int blockCount = source->GetBlockCount();
    if (blockFrames <= 0 || blockFrames > CAudioSource::kMaxBlockFrames) {
        result.error = "the reader gave an impossible block size";
        source->Close();
        return result;
    }
    result.sampleRate = source->GetSampleRate();
    const int64_t totalFrames = source->GetTotalFrames();
    const int audibleLevel = static_cast<int>(std::ceil(32768.0 * std::pow(10.0, kAudibleDbfs / 20.0)));

    CTempoTracker tempo(result.sampleRate);
    CLoudnessMeter loudness(result.sampleRate);
    std::vector<int16_t> left(static_cast<size_t>(blockFrames));
    std::vector<int16_t> right(static_cast<size_t>(blockFrames));
    std::vector<int16_t> interleaved(2 * static_cast<size_t>(blockFrames));
    std::vector<float> mono(static_cast<size_t>(blockFrames));
    result.status = AnalysisStatus::Done;
    source->SeekBlock(0);
    for (int block = 0; block < blockCount; ++block) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            result.status = AnalysisStatus::Cancelled;
            result.error = "stopped";
            break;
        }
        if (source->ReadBlock(left.data(), right.data()) == 0) {
            result.status = AnalysisStatus::Partial;
            result.error = "the track could not be read to its end";
            break;
        }
        int frames = blockFrames;
        if (totalFrames >= 0)
            frames = static_cast<int>(std::clamp<int64_t>(totalFrames - result.framesRead, 0, blockFrames));
        for (int i = 0; i < frames; ++i) {
            const size_t at = static_cast<size_t>(i);
            interleaved[2 * at] = left[at];
            interleaved[2 * at + 1] = right[at];
            mono[at] = (static_cast<float>(left[at]) + static_cast<float>(right[at])) * (1.0f / 65536.0f);
            if (std::max(std::abs(static_cast<int>(left[at])), std::abs(static_cast<int>(right[at]))) >=
                audibleLevel) {
                const int64_t frame = result.framesRead + i;
                if (result.firstAudibleFrame < 0)
                    result.firstAudibleFrame = frame;
                result.lastAudibleFrame = frame;
            }
        }
        loudness.Add(interleaved.data(), static_cast<size_t>(frames));
        tempo.Add(mono.data(), static_cast<size_t>(frames));
        result.framesRead += frames;
    }
    source->Close();

    const BeatGrid grid = tempo.Finish();
    if (grid.Found()) {
        result.tempo = static_cast<float>(60.0 * result.sampleRate / grid.periodFrames);
        result.tempoQuality = grid.quality;
        result.firstBeatFrame = std::max<int64_t>(0, std::llround(grid.firstBeatFrame));
    }
    result.loudnessLufs = loudness.IntegratedLufs();
    result.truePeakDb = loudness.TruePeakDb();
    return result;
}
