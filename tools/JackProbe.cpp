// quandel-jack-probe: plays two busy decks through a running JACK server at each period given
// and reports the xruns the server counted, to find the smallest period a machine sustains,
// and the latency from the engine's render to the physical outputs at that period.
//
//   quandel-jack-probe [--seconds N] [--server NAME] [PERIOD ...]
//
// The probe sets each period on the server itself (jack_set_buffer_size) before it opens the
// output; PERIOD defaults to 64 128 256 512 1024 frames, N to 60 s, NAME to the default server.
// Latency = the playback latency the server reports for our port, plus the frames the driver
// carries between switches (sampled once a second; none when the period is whole ticks).
#include "AudioEngine.h"
#include "JackOutput.h"
#include "OutputDeviceInfo.h"
#include "OutputManager.h"
#include "ProbeDecks.h"

#include <jack/jack.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct ProbeOptions {
    int seconds = 60;
    std::string server;
    std::vector<uint32_t> periods;
};

struct ProbeResult {
    uint32_t period = 0;
    uint32_t rateHz = 0;
    uint32_t xruns = 0;
    uint32_t shortSwitches = 0;
    uint32_t latencyFrames = 0; // the port's playback latency, largest
    double carriedFrames = 0;   // mean of the samples
    bool opened = false;
};

// Asks the server for a period through a client of the probe's own.
bool SetPeriod(const std::string& server, uint32_t period)
{
    jack_status_t status{};
    jack_client_t* client =
        server.empty() ? jack_client_open("quandel-probe", JackNoStartServer, &status)
                       : jack_client_open("quandel-probe",
                                          static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                          &status, server.c_str());
    if (client == nullptr)
        return false;
    const bool done = jack_get_buffer_size(client) == period || jack_set_buffer_size(client, period) == 0;
    jack_client_close(client);
    return done;
}

uint32_t PlaybackLatency(const std::string& server, const std::string& portName)
{
    jack_status_t status{};
    jack_client_t* client =
        server.empty() ? jack_client_open("quandel-latency", JackNoStartServer, &status)
                       : jack_client_open("quandel-latency",
                                          static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                          &status, server.c_str());
    if (client == nullptr)
        return 0;
    jack_latency_range_t range{0, 0};
    if (jack_port_t* port = jack_port_by_name(client, portName.c_str()))
        jack_port_get_latency_range(port, JackPlaybackLatency, &range);
    jack_client_close(client);
    return range.max;
}

ProbeResult RunPeriod(const ProbeOptions& options, const CProbeDecks& decks, uint32_t period)
{
    ProbeResult result;
    result.period = period;
    if (!SetPeriod(options.server, period))
        return result;
    CAudioEngine engine;
    COutputManager manager;
    if (!decks.LoadAndPlay(engine, manager))
        return result;
    COutputDeviceInfo record;
    record.device = 512;
    record.mainGroupMask = 1;
    auto* driver =
        static_cast<CJackOutput*>(manager.OpenMaster(record, std::make_unique<CJackOutput>(options.server)));
    if (driver == nullptr) {
        engine.SetPlayClock(nullptr);
        return result;
    }
    result.opened = true;
    result.rateHz = driver->ServerRate();
    ClientRecord flags;
    engine.Start(flags.flags);
    manager.Start(engine, flags);
    result.latencyFrames = PlaybackLatency(options.server, driver->PortName(CJackOutput::MasterLeft));
    double carried = 0;
    int samples = 0;
    const auto end = Clock::now() + std::chrono::seconds(options.seconds);
    // Polled once a second: the probe only reads counters.
    while (Clock::now() < end && !driver->ServerLost()) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        carried += driver->Carried();
        ++samples;
    }
    result.xruns = driver->Xruns();
    result.shortSwitches = driver->ShortSwitches();
    result.carriedFrames = samples > 0 ? carried / samples : 0;
    manager.Close();
    engine.SetPlayClock(nullptr);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    ProbeOptions options;
    const auto other = [&options](int count, char** args, int& i) {
        if (std::strcmp(args[i], "--server") != 0 || i + 1 >= count)
            return false;
        options.server = args[++i];
        return true;
    };
    if (!ParseProbeArguments(argc, argv, options.seconds, options.periods, {64, 128, 256, 512, 1024},
                             other)) {
        std::fprintf(stderr, "usage: %s [--seconds N] [--server NAME] [PERIOD ...]\n", argv[0]);
        return 2;
    }
    CProbeDecks decks;
    if (!decks.WriteTracks(options.seconds))
        return 1;
    std::printf("server %s, %d s per period\n", options.server.empty() ? "(default)" : options.server.c_str(),
                options.seconds);
    std::printf("period  rate    xruns  short  port-latency  carried  latency-ms\n");
    int failures = 0;
    for (const uint32_t period : options.periods) {
        const ProbeResult r = RunPeriod(options, decks, period);
        if (!r.opened) {
            std::printf("%6u  the server did not take the period or the output did not open\n", period);
            ++failures;
            continue;
        }
        const double latencyMs = (r.latencyFrames + r.carriedFrames) * 1000.0 / r.rateHz;
        std::printf("%6u  %5u  %6u  %5u  %12u  %7.1f  %10.2f\n", r.period, r.rateHz, r.xruns, r.shortSwitches,
                    r.latencyFrames, r.carriedFrames, latencyMs);
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}
