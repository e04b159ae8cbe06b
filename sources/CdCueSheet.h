#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The cue sheet of a raw disc image: one FILE line naming an image of 2352-byte sectors, then
// TRACK nn AUDIO | MODE1/2352 | MODE2/2352 entries, each with an INDEX 01 mm:ss:ff giving the
// track's first sector within the image. Other commands (TITLE, PERFORMER, REM, PREGAP,
// INDEX 00, FLAGS, ...) are skipped.
//
// Refused: no FILE or more than one, a FILE that is not BINARY, track numbers that do not count
// up from 1 by one, more than 99 tracks, a track without INDEX 01, seconds >= 60 or frames >= 75,
// starts that do not increase, cooked sector modes (MODE1/2048 and the like), and lines longer
// than kMaxLineBytes. Not thread-safe by itself.
class CCdCueSheet {
public:
    struct Track {
        int number = 0;           // 1..99
        bool audio = false;       // false: a data track
        uint32_t firstSector = 0; // sectors from the start of the image
    };

    static constexpr int kMaxTracks = 99;
    static constexpr size_t kMaxLineBytes = 4096;
    // A cue sheet is a few kilobytes; anything much larger is not one.
    static constexpr size_t kMaxSheetBytes = 1 << 20;

    // Nonzero when text holds a cue sheet this reader accepts; on failure the sheet is empty.
    int Parse(const char* text, size_t bytes);
    // Reads and parses a file; nonzero on success.
    int Load(const char* path);

    // The FILE name as written (a relative name is relative to the cue sheet's folder).
    const std::string& FileName() const { return m_fileName; }
    const std::vector<Track>& Tracks() const { return m_tracks; }

private:
    bool ParseLine(const std::string& line);
    void Clear();

    std::string m_fileName;
    std::vector<Track> m_tracks; // in track order, at most 99
    bool m_indexSeen = true;     // the last TRACK has its INDEX 01
};
