#pragma once

#include "TrackAnalysis.h"

struct TrackEntry;

// Whether a tempo already in an entry (from a list or a tag) gives way to the analysed one.
enum class TempoChoice { KeepListed, Replace };

// Puts what an analysis found into a list entry: tempo and beat phase, loudness, audible range,
// and the play time where it was not known. Figures the analysis could not measure leave the
// entry's as they are.
class CEntryAnalysis {
public:
    static void Apply(const TrackAnalysis& analysis, TrackEntry& entry, TempoChoice choice);
};
