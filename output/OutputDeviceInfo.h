#pragma once

#include <cstdint>
#include <string>

// Describes one output device and carries the output settings into a driver. The device list
// fills it; the shell keeps one for the master and one for the recorder, and a driver holds a
// pointer to the record it was opened with (the record outlives the driver).
struct COutputDeviceInfo {
    std::string name;            // as the device list names it; empty until filled
    uint32_t device = 0;         // identifier; its range selects the driver class
    uint16_t sampleRate = 44100; // Hz
    uint8_t bytesPerSample = 2;  // 1 = unsigned 8-bit, 2 = signed 16-bit
    uint32_t stereo = 1;         // 1 = two channels, 0 = mono
    uint32_t master = 1;         // may be (and, in an open driver, is) the pacing master
    uint32_t secondary = 1;      // may be attached as a secondary
    uint32_t blockFrames = 8192; // frames per block; the manager rounds it to whole ticks
    uint32_t formats = 0;        // wave-out format bits (WAVE_FORMAT_1M08 0x1 .. 4S16 0x800)
    uint32_t support = 0;        // wave-out support bits
    uint8_t mainGroupMask = 255; // bus group types folded in (1 main, 2 monitor); left if split
    uint32_t split = 0;          // stereo carries the main mask left, the second mask right
    uint8_t secondGroupMask = 0; // group types folded into the right channel when split
};
