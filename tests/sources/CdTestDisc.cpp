#include "CdTestDisc.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <thread>

CTestDisc::CTestDisc(std::vector<Track> tracks) : m_tracks(std::move(tracks))
{
    uint32_t sector = 0;
    for (const Track& track : m_tracks) {
        m_starts.push_back(sector);
        sector += track.sectors;
    }
    m_image.resize(size_t{sector} * 2352);
    for (size_t t = 0; t < m_tracks.size(); ++t) {
        // 441 x (t + 1) Hz repeats every 100 frames at 44100 Hz: one period of samples serves all.
        int16_t period[100];
        for (int i = 0; i < 100; ++i)
            period[i] = static_cast<int16_t>(
                std::lround(12000.0 * std::sin(2.0 * M_PI * static_cast<double>(t + 1) * i / 100.0)));
        uint8_t* at = m_image.data() + size_t{m_starts[t]} * 2352;
        const uint32_t frames = m_tracks[t].sectors * 588;
        for (uint32_t frame = 0; frame < frames; ++frame, at += 4) {
            if (!m_tracks[t].audio) {
                at[0] = at[1] = at[2] = at[3] = static_cast<uint8_t>(0x5A ^ frame);
                continue;
            }
            const int16_t left = period[frame % 100];
            const auto right = static_cast<int16_t>(-left);
            at[0] = static_cast<uint8_t>(left);
            at[1] = static_cast<uint8_t>(static_cast<uint16_t>(left) >> 8);
            at[2] = static_cast<uint8_t>(right);
            at[3] = static_cast<uint8_t>(static_cast<uint16_t>(right) >> 8);
        }
    }
}

std::string CTestDisc::Write(const std::string& folder, int extraSectors) const
{
    const std::string image = folder + "/image.bin";
    const std::string cue = folder + "/image.cue";
    size_t bytes = m_image.size();
    if (extraSectors < 0)
        bytes -= std::min(bytes, static_cast<size_t>(-extraSectors) * 2352);
    std::ofstream(image, std::ios::binary)
        .write(reinterpret_cast<const char*>(m_image.data()), static_cast<std::streamsize>(bytes));
    std::ofstream sheet(cue);
    sheet << "FILE \"image.bin\" BINARY\n";
    for (size_t t = 0; t < m_tracks.size(); ++t) {
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02zu %s\n", t + 1,
                      m_tracks[t].audio ? "AUDIO" : "MODE1/2352");
        sheet << line;
        const uint32_t s = m_starts[t];
        std::snprintf(line, sizeof line, "    INDEX 01 %02u:%02u:%02u\n", s / 4500, s / 75 % 60, s % 75);
        sheet << line;
    }
    return cue;
}

int16_t CTestDisc::Sample(int track, uint32_t frame, int channel) const
{
    const size_t at = size_t{m_starts[static_cast<size_t>(track)]} * 2352 + size_t{frame} * 4 + 2 * channel;
    return static_cast<int16_t>(static_cast<uint16_t>(m_image[at] | (m_image[at + 1] << 8)));
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
