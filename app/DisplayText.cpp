#include "DisplayText.h"

#include "TimeLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace DisplayText {

void MixTime(int64_t seconds, char (&out)[kTimeBytes])
{
    const char* sign = seconds < 0 ? "-" : "";
    // Ten thousand hours and more show as that: no Time Line lasts so long.
    const int64_t t = std::min<int64_t>(std::llabs(std::max<int64_t>(seconds, -INT64_MAX)), 35999999);
    if (t > 356399)
        std::snprintf(out, sizeof out, "%s%ih", sign, static_cast<int>(t / 3600));
    else if (t < 5941)
        std::snprintf(out, sizeof out, "%s%02i:%02i", sign, static_cast<int>(t / 60),
                      static_cast<int>(t % 60));
    else
        std::snprintf(out, sizeof out, "%s%02ih%02i", sign, static_cast<int>(t / 3600),
                      static_cast<int>(t / 60 % 60));
}

void TimeLineMixTime(const CTimeLine& timeLine, bool remaining, char (&out)[kTimeBytes])
{
    int64_t seconds = timeLine.ElapsedRealTime() / 1000;
    if (remaining)
        seconds -= timeLine.TotalRealTime() / 1000;
    MixTime(seconds, out);
}

void DeckTime(double seconds, bool remaining, char (&out)[kTimeBytes])
{
    // Whole seconds, as the clock on a deck counts them; a track of any length stays in the
    // field (minutes grow past 99 rather than wrapping).
    const double clamped = std::isfinite(seconds) ? std::fmax(0.0, std::fmin(seconds, 5999940.0)) : 0.0;
    const int whole = static_cast<int>(clamped);
    std::snprintf(out, sizeof out, "%c%02i:%02i", remaining ? '-' : ' ', whole / 60, whole % 60);
}

std::string CommentForEditing(const std::string& stored)
{
    std::string edited;
    edited.reserve(stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '\n' && i + 1 < stored.size() && stored[i + 1] == '\n')
            ++i;
        edited += stored[i];
    }
    return edited;
}

std::string CommentForStoring(const std::string& edited)
{
    std::string stored;
    stored.reserve(edited.size() + 16);
    for (const char c : edited) {
        if (c == '\r')
            continue;
        stored += c;
        if (c == '\n')
            stored += '\n';
    }
    return stored;
}

} // namespace DisplayText
