#include "EntryAnalysis.h"

#include "TrackEntry.h"

#include <algorithm>
#include <cmath>

void CEntryAnalysis::Apply(const TrackAnalysis& analysis, TrackEntry& entry, TempoChoice choice)
{
    if (analysis.sampleRate == 0 || analysis.framesRead <= 0)
        return;
    const double msPerFrame = 1000.0 / analysis.sampleRate;
    if (analysis.HasTempo()) {
        const bool listed = entry.tempo > 0.0f;
        if (!listed || choice == TempoChoice::Replace) {
            entry.tempo = analysis.tempo;
            entry.tempoQuality = analysis.tempoQuality;
            entry.firstBeatMs = static_cast<double>(analysis.firstBeatFrame) * msPerFrame;
        } else if (std::fabs(analysis.tempo - entry.tempo) <= 0.005f * entry.tempo) {
            // The listed tempo stays; the grid it describes is the one found, so its phase holds.
            entry.firstBeatMs = static_cast<double>(analysis.firstBeatFrame) * msPerFrame;
        }
    }
    if (analysis.HasLoudness()) {
        entry.loudnessLufs = static_cast<float>(std::clamp(analysis.loudnessLufs, -99.0, -0.01));
        entry.truePeakDb = static_cast<float>(std::clamp(analysis.truePeakDb, -99.0, 30.0));
    }
    if (!analysis.IsSilent()) {
        entry.audibleStartMs = static_cast<double>(analysis.firstAudibleFrame) * msPerFrame;
        entry.audibleEndMs = static_cast<double>(analysis.lastAudibleFrame + 1) * msPerFrame;
    }
    if (entry.playTime == TrackEntry::kUnknownPlayTime && analysis.status == AnalysisStatus::Done)
        entry.playTime = static_cast<int32_t>(analysis.framesRead / analysis.sampleRate);
    entry.changed = true;
}
