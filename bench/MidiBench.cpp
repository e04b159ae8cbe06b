// DJ controllers: how long a MIDI message takes from its arrival at the port's callback to the
// control function being taken by the next tick, and how many messages a second the reader and
// the bindings get through.
#include "ControlTable.h"
#include "MidiControllers.h"
#include "MidiDevice.h"
#include "MidiDispatcher.h"
#include "MidiMapping.h"
#include "MidiStreamDecoder.h"
#include "TempDir.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// One tick: 128 frames at 44.1 kHz.
constexpr auto kTick = std::chrono::nanoseconds(2902494);

void MessageToAppliedControl(benchmark::State& state)
{
    CTempDir dir;
    std::ofstream(dir.Path("bench.midimap")) << "in cc 1 7 control 5 absolute\n";
    CControlTable controls;
    MidiControllersOptions options;
    options.systems = {};
    options.mappingFolders = {dir.Root()};
    CMidiControllers controllers(controls, options);
    controllers.Start();
    CMidiDevice* device = controllers.AttachDevice("bench", "bench");
    CControlFunction& xFader = *controls.FindFunction(ControlId::XFader);

    // Stands in for the output's audio thread: once a tick it takes the pending value, as
    // ApplyControls does before the engine renders the tick.
    std::atomic<bool> running{true};
    std::atomic<int64_t> appliedNs{0};
    std::thread audio([&] {
        Clock::time_point next = Clock::now();
        while (running.load(std::memory_order_relaxed)) {
            next += kTick;
            std::this_thread::sleep_until(next);
            if (xFader.TakeApplyPending(0))
                appliedNs.store(NowNs(), std::memory_order_release);
        }
    });

    uint8_t value = 0;
    double worstMs = 0.0;
    double handOffMs = 0.0;
    for (auto _ : state) {
        xFader.TakeApplyPending(0);
        appliedNs.store(0, std::memory_order_relaxed);
        value = static_cast<uint8_t>((value + 1) & 0x7F);
        const uint8_t bytes[] = {0xB0, 7, value};
        const int64_t sentNs = NowNs();
        device->Receive(bytes, sizeof bytes, sentNs);
        int64_t applied = 0;
        while ((applied = appliedNs.load(std::memory_order_acquire)) == 0)
            std::this_thread::yield();
        const double ms = static_cast<double>(applied - sentNs) / 1e6;
        worstMs = std::max(worstMs, ms);
        handOffMs += static_cast<double>(controllers.LastAppliedNs() - sentNs) / 1e6;
        state.SetIterationTime(ms / 1e3);
    }
    running.store(false);
    audio.join();
    controllers.Stop();
    state.counters["WorstMs"] = worstMs;
    // Arrival to the control function written by the MIDI thread, on average.
    state.counters["HandOffMs"] = handOffMs / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    state.counters["TickMs"] = std::chrono::duration<double, std::milli>(kTick).count();
}
BENCHMARK(MessageToAppliedControl)
    ->Name("app/MidiMessageToAppliedControl")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(300);

// The reader and the bindings alone, over a controller's busiest kind of traffic: a jog wheel,
// a 14-bit fader and a soft take-over knob, in running status.
void ReadAndBind(benchmark::State& state)
{
    CControlTable controls;
    std::vector<MidiMappingProblem> problems;
    const CMidiMapping mapping = CMidiMapping::Read("in cc 1 33 jog A jog-turn-twos step=32\n"
                                                    "in cc14 1 9 41 control 101 A absolute\n"
                                                    "in cc 1 1 control 303 A takeover\n",
                                                    controls, problems);
    CMidiDispatcher dispatcher(controls, mapping);
    CMidiStreamDecoder decoder;
    std::vector<uint8_t> stream = {0xB0};
    for (int i = 0; i < 1000; ++i) {
        const uint8_t step[] = {33, 1, 9, static_cast<uint8_t>(i & 0x7F),
                                41, 3, 1, static_cast<uint8_t>(i & 0x7F)};
        stream.insert(stream.end(), std::begin(step), std::end(step));
    }
    const Clock::time_point now = Clock::now();
    size_t messages = 0;
    for (auto _ : state) {
        decoder.Feed(stream.data(), stream.size(), [&](const MidiMessage& message) {
            MidiCommand command{};
            dispatcher.Handle(message, now, command);
            ++messages;
        });
        controls.SetValue(ControlId::DeckScratch, 0, 32768, Marks::None);
    }
    state.SetItemsProcessed(static_cast<int64_t>(messages));
}
BENCHMARK(ReadAndBind)->Name("app/MidiReadAndBind");

} // namespace
