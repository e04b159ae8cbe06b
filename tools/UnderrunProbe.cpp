// quandel-underrun-probe: plays two busy decks through an ALSA PCM, or the sound server's default
// output, at each block size given and reports underruns, to find the smallest block a machine
// sustains.
//
//   quandel-underrun-probe [--seconds N] [--pcm NAME | --server] [--stall-ms M] [BLOCK ...]
//
// BLOCK defaults to 128 256 512 1024 2048 frames, N to 20 s per block, NAME to "default".
// --server plays through the sound server (PULSE_SERVER, or the user's) with its own driver.
// --stall-ms holds the pacing thread once, 3 s into each run, for M ms: a run that then reports
// no underrun shows that the PCM hides underruns from the driver and the figures mean nothing.
// (Counting blocks asked for when the ring was already empty does not work instead: the driver
// recovers the PCM before it asks, so the ring looks merely free.)
#include "AlsaOutput.h"
#include "AudioEngine.h"
#include "OutputDeviceInfo.h"
#include "OutputManager.h"
#include "ProbeDecks.h"
#include "PulseOutput.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct ProbeOptions {
    int seconds = 20;
    std::string pcmName = "default";
    bool server = false; // the sound server's default output instead of an ALSA PCM
    int stallMs = 0;
    std::vector<uint32_t> blocks;
};

struct ProbeResult {
    uint32_t blockFrames = 0;
    uint32_t periodFrames = 0; // as the device granted them
    uint32_t ringFrames = 0;
    uint32_t underruns = 0; // reported by the PCM
    uint32_t dropped = 0;   // blocks the ring had no room for
    uint32_t blocks = 0;    // rendered on the pacing thread
    double worstGapMs = 0;  // longest time between two blocks after the server's start-up
    bool realTime = false;  // the pacing thread got real-time scheduling
    bool deviceLost = false;
    bool opened = false;
};

// Forwards to the engine and times the blocks the pacing thread asks for.
class CProbeClient : public CAudioClient {
public:
    CProbeClient(CAudioEngine& engine, int stallMs) : m_engine(engine), m_stallMs(stallMs) {}

    // Set once the driver is open: tells whether the caller is the driver's pacing thread (the
    // driver outlives the run).
    void Watch(std::function<bool()> onPacingThread) { m_onPacingThread = std::move(onPacingThread); }

    void Start(uint8_t& flags) override { m_engine.Start(flags); }
    void Stop(uint8_t& flags) override { m_engine.Stop(flags); }

    int Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick, uint16_t tickCount) noexcept override
    {
        // The two blocks that prime the ring come from Start, before the device runs.
        if (m_onPacingThread && m_onPacingThread()) {
            const auto now = Clock::now().time_since_epoch();
            const int64_t nowUs = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
            const int64_t lastUs = m_lastUs.exchange(nowUs, std::memory_order_relaxed);
            const uint32_t blocks = m_blocks.fetch_add(1, std::memory_order_relaxed) + 1;
            // A sound server takes up to ~2 s to start playing; gaps before that say nothing.
            if (blocks > m_startupBlocks)
                m_worstGapUs.store(std::max(m_worstGapUs.load(std::memory_order_relaxed), nowUs - lastUs),
                                   std::memory_order_relaxed);
            if (m_stallMs > 0 && blocks == m_stallAtBlock)
                std::this_thread::sleep_for(std::chrono::milliseconds(m_stallMs));
        }
        return m_engine.Render(record, bus, firstTick, tickCount);
    }

    // Blocks (counted from the pacing thread's first) of the server's start-up, and the one
    // held for the stall.
    void SetBlocks(uint32_t startupBlocks, uint32_t stallAtBlock)
    {
        m_startupBlocks = startupBlocks;
        m_stallAtBlock = stallAtBlock;
    }
    uint32_t Blocks() const { return m_blocks.load(std::memory_order_relaxed); }
    double WorstGapMs() const { return m_worstGapUs.load(std::memory_order_relaxed) / 1000.0; }

private:
    CAudioEngine& m_engine;
    std::function<bool()> m_onPacingThread;
    int m_stallMs; // 0: no stall
    uint32_t m_startupBlocks = 0;
    uint32_t m_stallAtBlock = 0;
    std::atomic<int64_t> m_lastUs{0}; // steady clock, microseconds
    std::atomic<int64_t> m_worstGapUs{0};
    std::atomic<uint32_t> m_blocks{0};
};

ProbeResult RunBlockSize(const ProbeOptions& options, const CProbeDecks& decks, uint32_t blockFrames)
{
    ProbeResult result;
    result.blockFrames = blockFrames;
    CAudioEngine engine;
    COutputManager manager;
    if (!decks.LoadAndPlay(engine, manager))
        return result;
    COutputDeviceInfo record;
    record.device = 0;
    record.blockFrames = blockFrames;
    record.mainGroupMask = 1;
    CProbeClient client(engine, options.stallMs);
    client.SetBlocks(2 * 44100 / record.blockFrames, 3 * 44100 / record.blockFrames);
    // Runs the probe on an open driver of either kind and reads its counters.
    const auto run = [&](auto* driver) {
        client.Watch([driver] { return driver->Pacer().OnPacingThread(); });
        ClientRecord flags;
        manager.Start(client, flags);
        const auto end = Clock::now() + std::chrono::seconds(options.seconds);
        // Polled once a second: the probe only reads counters, it waits for nothing to happen.
        while (Clock::now() < end && !driver->Pacer().DeviceLost())
            std::this_thread::sleep_for(std::chrono::seconds(1));
        result.underruns = driver->Underruns();
        result.dropped = driver->BlocksDropped();
        result.realTime = driver->Pacer().RealTime();
        result.deviceLost = driver->Pacer().DeviceLost();
    };
    if (options.server) {
        record.device = 256;
        auto* driver = static_cast<CPulseOutput*>(manager.OpenMaster(record));
        result.opened = driver != nullptr;
        if (driver != nullptr) {
            // The server's buffer holds two blocks and asks for one at a time.
            result.periodFrames = record.blockFrames;
            result.ringFrames = 2 * record.blockFrames;
            run(driver);
        }
    } else {
        auto* driver = static_cast<CAlsaOutput*>(
            manager.OpenMaster(record, std::make_unique<CAlsaOutput>(options.pcmName)));
        result.opened = driver != nullptr;
        if (driver != nullptr) {
            result.periodFrames = driver->Pcm().PeriodFrames();
            result.ringFrames = driver->Pcm().RingFrames();
            run(driver);
        }
    }
    manager.Close();
    engine.SetPlayClock(nullptr);
    if (!result.opened)
        return result;
    result.blocks = client.Blocks();
    result.worstGapMs = client.WorstGapMs();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    ProbeOptions options;
    const auto other = [&options](int count, char** args, int& i) {
        const bool hasValue = i + 1 < count;
        if (std::strcmp(args[i], "--pcm") == 0 && hasValue)
            options.pcmName = args[++i];
        else if (std::strcmp(args[i], "--server") == 0)
            options.server = true;
        else if (std::strcmp(args[i], "--stall-ms") == 0 && hasValue)
            options.stallMs = std::atoi(args[++i]);
        else
            return false;
        return true;
    };
    if (!ParseProbeArguments(argc, argv, options.seconds, options.blocks, {128, 256, 512, 1024, 2048},
                             other)) {
        std::fprintf(stderr, "usage: %s [--seconds N] [--pcm NAME | --server] [--stall-ms M] [BLOCK ...]\n",
                     argv[0]);
        return 2;
    }
    CProbeDecks decks;
    if (!decks.WriteTracks(options.seconds))
        return 1;
    std::printf("%s %s, %d s per block size%s\n", options.server ? "server" : "pcm",
                options.server ? "default output" : options.pcmName.c_str(), options.seconds,
                options.stallMs > 0 ? ", with a stall" : "");
    std::printf("block  period  ring   blocks  underruns  dropped  worst-gap-ms  rt\n");
    int failures = 0;
    for (const uint32_t block : options.blocks) {
        const ProbeResult r = RunBlockSize(options, decks, block);
        if (!r.opened) {
            std::printf("%5u  the PCM did not open\n", block);
            ++failures;
            continue;
        }
        std::printf("%5u  %6u  %5u  %6u  %9u  %7u  %12.1f  %s%s\n", r.blockFrames, r.periodFrames,
                    r.ringFrames, r.blocks, r.underruns, r.dropped, r.worstGapMs, r.realTime ? "yes" : "no",
                    r.deviceLost ? "  device lost" : "");
        std::fflush(stdout);
        failures += r.deviceLost ? 1 : 0;
    }
    return failures == 0 ? 0 : 1;
}
