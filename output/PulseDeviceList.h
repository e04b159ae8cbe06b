#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One sink of the sound server.
struct PulseSink {
    std::string name;        // the server's name for it, to open a stream on
    std::string description; // what the user reads
    uint32_t channels = 0;
};

namespace PulseDevices {
constexpr size_t kMaxSinks = 16; // per list

// User-interface thread: these talk to the server, each within a second.
// Every sink in the server's order; 0, or the connection's open error (1001 when no server
// answers). Reads afresh on every call.
int ReadSinks(std::vector<PulseSink>& out);
// Read once per run, on first use, and kept: whether a server answered then, its sinks, and
// those of them with at least four channels (at most 16 each).
bool ServerReachable();
const std::vector<PulseSink>& Sinks();
const std::vector<PulseSink>& FourChannelSinks();
} // namespace PulseDevices
