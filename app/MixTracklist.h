#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The tracks of a rendered mix as a listener hears them: when each enters the written file, on
// which deck, who and what it is. Written as a plain tracklist and as a CUE sheet of the file,
// the two things DJs publish with a mix.
class CMixTracklist {
public:
    struct Track {
        double startSeconds = 0.0; // in the written file
        int deck = 0;
        std::string artist;
        std::string title;
        float bpm = 0.0f; // 0 = not known
    };

    // A track heard from frame on (output frames of the whole mix). Tracks must come in order.
    void Add(uint64_t frame, int deck, std::string artist, std::string title, float bpm);
    // Keeps what lies in the written part [firstFrame, endFrame): the track playing at firstFrame
    // starts the file, times count from there, and tracks starting at endFrame or later go.
    void Cut(uint64_t firstFrame, uint64_t endFrame);

    const std::vector<Track>& Tracks() const { return m_tracks; }
    // "  0:00  A  Artist – Title  128.0 BPM", a line each.
    std::string TracklistText() const;
    // A CUE sheet of wavName (as the FILE line names it), an INDEX 01 per track.
    std::string CueSheetText(const std::string& title, const std::string& wavName) const;

private:
    struct Heard {
        uint64_t frame;
        Track track;
    };
    std::vector<Heard> m_heard;
    std::vector<Track> m_tracks;
};
