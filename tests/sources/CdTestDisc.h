#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A disc written by a test: a raw image of 2352-byte sectors and its cue sheet. Audio track t
// carries a sine of 441 x (t + 1) Hz on the left and the same negated on the right (channels
// kept apart); data tracks carry a byte pattern. The image bytes stay in memory for comparison.
class CTestDisc {
public:
    struct Track {
        bool audio = true;
        uint32_t sectors = 0;
    };

    explicit CTestDisc(std::vector<Track> tracks);

    // Writes image.bin and image.cue into folder; returns the cue sheet's path. extraSectors
    // below zero cuts that many sectors off the image's end.
    std::string Write(const std::string& folder, int extraSectors = 0) const;

    // The sample the image holds for a frame of a track (0-based), channel 0 left, 1 right.
    int16_t Sample(int track, uint32_t frame, int channel) const;
    uint32_t TrackStart(int track) const { return m_starts[static_cast<size_t>(track)]; }
    const std::vector<uint8_t>& Image() const { return m_image; }

private:
    std::vector<Track> m_tracks;
    std::vector<uint32_t> m_starts; // first sector of each track within the image
    std::vector<uint8_t> m_image;
};

// Waits until done() holds or the deadline passes; true when it held.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);
