#pragma once

#include <cstdint>
#include <string>

struct TrackEntry;

// The ID3v1 tag: 128 bytes at the end of an MP3 file, "TAG" then title, artist, album (30
// bytes each), year (4), comment (30, its last two bytes the track number in ID3v1.1) and the
// genre byte. Text is Latin-1 on disk and UTF-8 in the entry.
class CId3v1 {
public:
    static constexpr size_t kTagBytes = 128;
    static constexpr int kGenreCount = 80;

    // Fills title, artist, album, comment, genre and track number from the file's tag. False
    // when the file cannot be read or holds no tag; the entry is then unchanged.
    static bool Read(const std::string& path, TrackEntry& entry);
    // Writes the entry's tag over the file's tag, or appends one. Never touches the bytes
    // before the tag; an append that fails is cut off again. False on any failure.
    static bool Write(const std::string& path, const TrackEntry& entry);
    // The standard name of genre 0..79 with its own spellings; "" for 255 or anything from 80.
    static const char* GenreName(int genre);
};
