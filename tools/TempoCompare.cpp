// quandel-tempo-compare: scores two tempo trackers, aubio's and the Queen Mary DSP library's, on
// the generated drum set the analysis tests use. Each tracker's beats go through the same grid
// fit the player uses; a track counts as right when its tempo is within 0.05 BPM of the truth
// (a doubled or halved tempo is wrong) and its first beat within 10 ms of a true beat.
//
// Built only when aubio happens to be installed; the player links the Queen Mary library alone.
#include "BeatGridFit.h"
#include "BeatTestSet.h"
#include "OnsetEnvelope.h"
#include "TempoTracker.h"

#include <aubio/aubio.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;
constexpr int kHop = 512;
constexpr int kWindow = 1024;

std::vector<double> AubioBeats(const std::vector<float>& mono)
{
    std::vector<double> beats;
    aubio_tempo_t* tempo = new_aubio_tempo("default", kWindow, kHop, kRate);
    fvec_t* in = new_fvec(kHop);
    fvec_t* out = new_fvec(1);
    for (size_t start = 0; start + kHop <= mono.size(); start += kHop) {
        for (int i = 0; i < kHop; ++i)
            in->data[i] = mono[start + static_cast<size_t>(i)];
        aubio_tempo_do(tempo, in, out);
        if (out->data[0] != 0.0f)
            beats.push_back(static_cast<double>(aubio_tempo_get_last(tempo)));
    }
    del_fvec(out);
    del_fvec(in);
    del_aubio_tempo(tempo);
    return beats;
}

struct Score {
    int tempoRight = 0;
    int phaseRight = 0;
    double seconds = 0.0;
};

} // namespace

int main()
{
    const std::vector<BeatTrackRecipe> set = BeatTestSet();
    Score scores[2];
    const char* const names[2] = {"aubio", "qm-dsp"};
    double audioSeconds = 0.0;
    for (const BeatTrackRecipe& recipe : set) {
        const StereoSignal signal = RenderBeatTrack(recipe, kRate);
        std::vector<float> mono(signal.left.size());
        for (size_t i = 0; i < mono.size(); ++i)
            mono[i] = (signal.left[i] + signal.right[i]) / 65536.0f;
        audioSeconds += static_cast<double>(mono.size()) / kRate;
        COnsetEnvelope envelope;
        envelope.Add(mono.data(), mono.size());
        const double truePeriod = 60.0 * kRate / recipe.tempo;
        std::printf("%-34s", recipe.Name().c_str());
        for (int which = 0; which < 2; ++which) {
            const auto started = std::chrono::steady_clock::now();
            BeatGrid grid;
            if (which == 0) {
                grid = CBeatGridFit::Fit(AubioBeats(mono), &envelope, kRate);
            } else {
                CTempoTracker tracker(kRate); // the player's own, with the same grid fit
                tracker.Add(mono.data(), mono.size());
                grid = tracker.Finish();
            }
            scores[which].seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            const double tempo = grid.Found() ? 60.0 * kRate / grid.periodFrames : 0.0;
            const bool tempoRight = std::fabs(tempo - recipe.tempo) <= 0.05;
            double offset = std::fmod(grid.firstBeatFrame - FirstBeatFrame(recipe, kRate), truePeriod);
            if (offset > truePeriod / 2.0)
                offset -= truePeriod;
            if (offset < -truePeriod / 2.0)
                offset += truePeriod;
            const double offsetMs = offset * 1000.0 / kRate;
            const bool phaseRight = grid.Found() && std::fabs(offsetMs) <= 10.0;
            scores[which].tempoRight += tempoRight ? 1 : 0;
            scores[which].phaseRight += tempoRight && phaseRight ? 1 : 0;
            std::printf("  %s %8.3f %+7.2f ms%s", names[which], tempo, offsetMs,
                        tempoRight && phaseRight ? "  " : " x");
        }
        std::printf("\n");
    }
    for (int which = 0; which < 2; ++which)
        std::printf("%-7s tempo within 0.05 BPM: %d/%zu, and phase within 10 ms: %d/%zu, %.0f x real time\n",
                    names[which], scores[which].tempoRight, set.size(), scores[which].phaseRight, set.size(),
                    audioSeconds / scores[which].seconds);
    return 0;
}
