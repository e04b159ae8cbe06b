#include "BeatGridFit.h"

#include "OnsetEnvelope.h"

#include <algorithm>
#include <cmath>

namespace {

struct NumberedBeat {
    double index; // beat number on the grid
    double frame;
};

// Least-squares line frame = a + b * index; false when the beats do not span two indices.
bool FitLine(const std::vector<NumberedBeat>& beats, double& a, double& b)
{
    if (beats.size() < 2)
        return false;
    double meanK = 0.0;
    double meanT = 0.0;
    for (const NumberedBeat& beat : beats) {
        meanK += beat.index;
        meanT += beat.frame;
    }
    meanK /= static_cast<double>(beats.size());
    meanT /= static_cast<double>(beats.size());
    double covariance = 0.0;
    double variance = 0.0;
    for (const NumberedBeat& beat : beats) {
        covariance += (beat.index - meanK) * (beat.frame - meanT);
        variance += (beat.index - meanK) * (beat.index - meanK);
    }
    if (variance <= 0.0)
        return false;
    b = covariance / variance;
    a = meanT - b * meanK;
    return b > 0.0;
}

double MedianInterval(const std::vector<double>& beatFrames)
{
    std::vector<double> intervals;
    intervals.reserve(beatFrames.size());
    for (size_t i = 1; i < beatFrames.size(); ++i)
        intervals.push_back(beatFrames[i] - beatFrames[i - 1]);
    std::nth_element(intervals.begin(), intervals.begin() + static_cast<std::ptrdiff_t>(intervals.size() / 2),
                     intervals.end());
    return intervals[intervals.size() / 2];
}

// The beats within a fifth of a period of the line a + b * k, numbered by it.
std::vector<NumberedBeat> BeatsOnLine(const std::vector<double>& beatFrames, double a, double b)
{
    std::vector<NumberedBeat> onLine;
    for (double frame : beatFrames) {
        const double k = std::round((frame - a) / b);
        if (std::fabs(frame - (a + k * b)) <= 0.2 * b)
            onLine.push_back({k, frame});
    }
    return onLine;
}

// Mean peak rise of a band at the grid positions a + (k + offset) * b, over every step-th beat.
double MeanRise(const COnsetEnvelope& envelope, COnsetEnvelope::Band band, double a, double b,
                double firstIndex, double lastIndex, double offset, int step)
{
    double sum = 0.0;
    int count = 0;
    for (double k = firstIndex + offset; k <= lastIndex; k += step) {
        sum += envelope.PeakRiseNear(band, a + k * b, b / 8.0);
        ++count;
    }
    return count > 0 ? sum / count : 0.0;
}

// Trackers follow the strongest pulse, which may be the off-beat hi-hat, every other beat, or
// the eighths. The kick's beat is where the bass rises; a grid whose alternate beats carry
// bass and no bass is at twice the tempo; one whose midpoints rise as strongly as its beats (the
// snares of a back-beat) is at half. Both within the tempo range.
void SettleOctaveAndPhase(const COnsetEnvelope& envelope, uint32_t sampleRate, double& a, double& b,
                          double& firstIndex, double& lastIndex)
{
    using Band = COnsetEnvelope::Band;
    const double tempo = 60.0 * sampleRate / b;
    const double bassOn = MeanRise(envelope, Band::Bass, a, b, firstIndex, lastIndex, 0.0, 1);
    const double bassMid = MeanRise(envelope, Band::Bass, a, b, firstIndex, lastIndex, 0.5, 1);
    if (bassMid > 1.5 * bassOn) {
        a += b / 2.0;
        lastIndex -= 1.0;
    }
    const double bassEven = MeanRise(envelope, Band::Bass, a, b, firstIndex, lastIndex, 0.0, 2);
    const double bassOdd = MeanRise(envelope, Band::Bass, a, b, firstIndex, lastIndex, 1.0, 2);
    if (tempo / 2.0 >= CBeatGridFit::kMinTempo &&
        std::min(bassEven, bassOdd) < 0.5 * std::max(bassEven, bassOdd)) {
        if (bassOdd > bassEven)
            firstIndex += 1.0;
        a += firstIndex * b;
        b *= 2.0;
        lastIndex = std::floor((lastIndex - firstIndex) / 2.0);
        firstIndex = 0.0;
        return;
    }
    // The bass again, not the whole band: a hi-hat on the off-beat rises as far in log energy as
    // a snare does, but only the snare has a body.
    const double bassOnAfter = MeanRise(envelope, Band::Bass, a, b, firstIndex, lastIndex, 0.0, 1);
    const double bassMidAfter = MeanRise(envelope, Band::Bass, a, b, firstIndex, lastIndex, 0.5, 1);
    // A back-beat's off-beat kick or a broken beat's "and" rises to two thirds of the beats at
    // most on the drum set; the snares of a half-read tempo rise as far as the kicks or further.
    // A tempo at the top of the range measures a hair above it.
    if (tempo * 2.0 <= CBeatGridFit::kMaxTempo + 1.0 && bassMidAfter >= 0.9 * bassOnAfter) {
        b /= 2.0;
        firstIndex *= 2.0;
        lastIndex *= 2.0;
    }
}

// Moves the grid to the attacks of one band; false when too few beats have one.
bool RefineByAttacks(const COnsetEnvelope& envelope, COnsetEnvelope::Band band, double firstIndex,
                     double lastIndex, double& a, double& b)
{
    std::vector<NumberedBeat> attacks;
    for (double k = firstIndex; k <= lastIndex; k += 1.0) {
        const double attack = envelope.StrongestRiseNear(band, a + k * b, b / 8.0, 0.3f);
        if (attack >= 0.0)
            attacks.push_back({k, attack});
    }
    double attackA = 0.0;
    double attackB = 0.0;
    if (attacks.size() < static_cast<size_t>(CBeatGridFit::kMinBeats) || !FitLine(attacks, attackA, attackB))
        return false;
    // Once more without the attacks of something else (a hi-hat, a noise burst).
    std::erase_if(attacks, [&](const NumberedBeat& beat) {
        return std::fabs(beat.frame - (attackA + beat.index * attackB)) > attackB / 32.0;
    });
    if (attacks.size() < static_cast<size_t>(CBeatGridFit::kMinBeats) ||
        !FitLine(attacks, attackA, attackB) || std::fabs(attackB - b) > 0.01 * b)
        return false;
    a = attackA;
    b = attackB;
    return true;
}

} // namespace

BeatGrid CBeatGridFit::Fit(const std::vector<double>& beatFrames, const COnsetEnvelope* envelope,
                           uint32_t sampleRate)
{
    BeatGrid grid;
    if (beatFrames.size() < static_cast<size_t>(kMinBeats))
        return grid;
    const double medianPeriod = MedianInterval(beatFrames);
    if (medianPeriod <= 0.0)
        return grid;

    // Number the beats by their gaps, so a slightly wrong median does not add up over a track;
    // a gap of about two periods is a missed beat, one of almost none a double detection.
    std::vector<NumberedBeat> numbered{{0.0, beatFrames[0]}};
    for (size_t i = 1; i < beatFrames.size(); ++i) {
        const double steps = std::round((beatFrames[i] - beatFrames[i - 1]) / medianPeriod);
        if (steps >= 1.0)
            numbered.push_back({numbered.back().index + steps, beatFrames[i]});
    }
    double a = 0.0;
    double b = 0.0;
    if (!FitLine(numbered, a, b))
        return grid;
    std::vector<NumberedBeat> onLine;
    for (int pass = 0; pass < 3; ++pass) {
        onLine = BeatsOnLine(beatFrames, a, b);
        if (onLine.size() < static_cast<size_t>(kMinBeats) || !FitLine(onLine, a, b))
            return grid;
    }
    double firstIndex = onLine.front().index;
    double lastIndex = onLine.back().index;
    if (envelope != nullptr) {
        // A tracker finds beats in silence and in a steady hum as well; without attacks under
        // them there is no tempo.
        constexpr double kMinMeanRise = 0.1; // log10 energy, 1 dB
        if (MeanRise(*envelope, COnsetEnvelope::Band::Full, a, b, firstIndex, lastIndex, 0.0, 1) <
            kMinMeanRise)
            return grid;
        SettleOctaveAndPhase(*envelope, sampleRate, a, b, firstIndex, lastIndex);
    }

    if (envelope != nullptr) {
        // Each grid beat to the strongest attack within an eighth of a period: a swung off-beat
        // lies further out than that. The bass first, where the kicks are; the whole band when
        // the beats carry no bass.
        for (COnsetEnvelope::Band band : {COnsetEnvelope::Band::Bass, COnsetEnvelope::Band::Full}) {
            if (RefineByAttacks(*envelope, band, firstIndex, lastIndex, a, b))
                break;
        }
    }
    grid.periodFrames = b;
    grid.firstBeatFrame = a + firstIndex * b;
    grid.quality = static_cast<float>(
        std::min(1.0, static_cast<double>(onLine.size()) / (lastIndex - firstIndex + 1.0)));
    return grid;
}
