#pragma once

#include <string>

struct TrackEntry;

// A track file's own tags through TagLib, for every format a list takes: ID3v2 (and ID3v1) in
// MPEG files, Vorbis comments in FLAC, Ogg and Opus, MP4 atoms, the tags of AIFF, WAV and WMA.
// Text is UTF-8 in the entry, cut to its field length.
class CTrackTags {
public:
    // Fills title, artist, album, comment, genre and track number from the file's tags, each
    // only where the tag has it: an MPEG file's ID3v1 tag first (as always read), then what
    // TagLib finds, ID3v2 before ID3v1. The BPM (ID3v2 TBPM, a "BPM" comment, MP4's tmpo)
    // becomes the entry's tempo when it has none. False when neither reader found a tag.
    static bool Read(const std::string& path, TrackEntry& entry);

    // Writes title, artist, album, comment, genre, track number and the tempo (whole BPM, when the
    // entry has one). MPEG and WAV files get
    // their ID3v1 tag as always; every file but WAV also gets its own tag (ID3v2.4 in MPEG
    // files, Vorbis comments, MP4 atoms, ...); an MPEG file TagLib cannot parse gets its ID3v1 tag
    // alone. All of it happens on a copy beside the file,
    // which replaces the file by one rename: the audio bytes are never rewritten in place, and
    // a failed write leaves the file as it was. False on any failure.
    static bool Write(const std::string& path, const TrackEntry& entry);

    // Whether the extension (with its dot, any case) is one that carries an ID3v1 tag.
    static bool TakesId3v1(const std::string& path);
};
