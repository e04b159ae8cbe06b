#include "MixTracklist.h"

#include "TerminalText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kRate = 44100.0;

// CUE sheet text sits inside double quotes on one line.
std::string CueText(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '"')
            out += '\'';
        else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            out += c;
    }
    return out;
}

// mm:ss:ff, 75 frames a second; minutes go past 99 for long mixes.
std::string CueTime(double seconds)
{
    const auto frames = static_cast<long long>(std::floor(std::max(0.0, seconds) * 75.0 + 1e-6));
    char text[40];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", frames / 75 / 60, frames / 75 % 60, frames % 75);
    return text;
}

} // namespace

void CMixTracklist::Add(uint64_t frame, int deck, std::string artist, std::string title, float bpm)
{
    m_heard.push_back(
        {frame, {static_cast<double>(frame) / kRate, deck, std::move(artist), std::move(title), bpm}});
    m_tracks.push_back(m_heard.back().track);
}

void CMixTracklist::Cut(uint64_t firstFrame, uint64_t endFrame)
{
    m_tracks.clear();
    for (size_t i = 0; i < m_heard.size(); ++i) {
        const Heard& heard = m_heard[i];
        const bool nextStartsByFirst = i + 1 < m_heard.size() && m_heard[i + 1].frame <= firstFrame;
        if (heard.frame >= endFrame || nextStartsByFirst)
            continue;
        Track track = heard.track;
        track.startSeconds =
            heard.frame > firstFrame ? static_cast<double>(heard.frame - firstFrame) / kRate : 0.0;
        m_tracks.push_back(std::move(track));
    }
}

std::string CMixTracklist::TracklistText() const
{
    std::string out;
    for (const Track& track : m_tracks) {
        char head[48];
        std::snprintf(head, sizeof head, "%8s  %c  ", CTerminalText::Clock(track.startSeconds).c_str(),
                      track.deck == 1 ? 'B' : 'A');
        out += head;
        if (!track.artist.empty())
            out += track.artist + " \xE2\x80\x93 ";
        out += track.title;
        if (track.bpm > 0.0f) {
            char bpm[32];
            std::snprintf(bpm, sizeof bpm, "  %.1f BPM", static_cast<double>(track.bpm));
            out += bpm;
        }
        out += '\n';
    }
    return out;
}

std::string CMixTracklist::CueSheetText(const std::string& title, const std::string& wavName) const
{
    std::string out = "REM COMMENT \"Quandel Player\"\n";
    out += "TITLE \"" + CueText(title) + "\"\n";
    out += "FILE \"" + CueText(wavName) + "\" WAVE\n";
    int number = 0;
    for (const Track& track : m_tracks) {
        char head[32];
        std::snprintf(head, sizeof head, "  TRACK %02d AUDIO\n", ++number);
        out += head;
        out += "    TITLE \"" + CueText(track.title) + "\"\n";
        if (!track.artist.empty())
            out += "    PERFORMER \"" + CueText(track.artist) + "\"\n";
        out += "    INDEX 01 " + CueTime(track.startSeconds) + "\n";
    }
    return out;
}
