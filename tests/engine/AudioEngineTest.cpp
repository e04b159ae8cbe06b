#include "AudioEngine.h"
#include "AudioBus.h"
#include "EngineTestSupport.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr uint32_t kSecond = 44100;

struct EngineOutput {
    std::vector<int16_t> mainLeft, mainRight, monitorLeft, monitorRight;
};

// Renders ticks one at a time, as the control dispatch does, into blocks of ticksPerBlock.
EngineOutput RenderEngine(CAudioEngine& engine, CAudioBus& bus, int blocks)
{
    EngineOutput out;
    ClientRecord record;
    for (int b = 0; b < blocks; ++b) {
        bus.Clear(static_cast<int32_t>(b * bus.TicksPerBlock() * bus.TickDurationMs()));
        for (uint32_t t = 0; t < bus.TicksPerBlock(); ++t)
            engine.Render(record, bus, static_cast<uint16_t>(t), 1);
        for (uint32_t t = 0; t < bus.TicksPerBlock(); ++t) {
            AppendGroupTick(bus, 1, t, out.mainLeft, out.mainRight);
            AppendGroupTick(bus, 2, t, out.monitorLeft, out.monitorRight);
        }
    }
    return out;
}

void WriteSignalWav(const std::string& path, uint32_t frames, int16_t (*signal)(uint32_t))
{
    std::vector<int16_t> left(frames), right(frames);
    for (uint32_t i = 0; i < frames; ++i) {
        left[i] = signal(i);
        right[i] = static_cast<int16_t>(-left[i]);
    }
    ASSERT_TRUE(WriteStereoWav16(path, left, right));
}

int16_t Loud(uint32_t frame)
{
    return Sine(frame, 441.0, 30000.0);
}

} // namespace

// Cross-fader hard left: the main mix is deck A alone; the cue mix with the monitor cross-fader
// hard right is deck B alone. Volumes at 191 are unity within half a dB.
void RouteAToMainAndBToMonitor(CAudioEngine& engine)
{
    engine.SetMixerControl(CMixerDsp::XFader, 0);
    engine.SetMixerControl(CMixerDsp::MonitorXFader, 255);
    engine.SetMixerControl(CMixerDsp::MonitorOutputMode, 2); // cue mix
    for (int number : {int{CMixerDsp::MasterVolume}, int{CMixerDsp::MonitorVolume}, CMixerDsp::DeckVolume + 0,
                       CMixerDsp::DeckVolume + 1})
        engine.SetMixerControl(number, 191);
}

TEST(AudioEngine, MainMixCarriesDeckAAndMonitorDeckB)
{
    CAudioEngine engine;
    LoadSignal(engine.Deck(0), 5 * kSecond, [](uint32_t f) { return Sine(f, 1000.0); });
    LoadSignal(engine.Deck(1), 5 * kSecond, [](uint32_t f) { return Sine(f, 3000.0); });
    engine.Deck(0).Play();
    engine.Deck(1).Play();
    RouteAToMainAndBToMonitor(engine);
    CAudioBus bus(44100, 8);
    uint8_t flags = 0;
    engine.Start(flags);
    const EngineOutput out = RenderEngine(engine, bus, 40);
    const size_t settled = 4096; // past the gain ramps and the DC blocker's start
    const double unity = 16000.0 * 0.996 * 0.996;
    EXPECT_NEAR(ToneAmplitude(out.mainLeft, 1000.0, settled), unity, 100.0);
    EXPECT_NEAR(ToneAmplitude(out.mainRight, 1000.0, settled), unity, 100.0);
    EXPECT_LT(ToneAmplitude(out.mainLeft, 3000.0, settled), 10.0);
    EXPECT_NEAR(ToneAmplitude(out.monitorLeft, 3000.0, settled), unity, 100.0);
    EXPECT_LT(ToneAmplitude(out.monitorLeft, 1000.0, settled), 10.0);
    // Channels stay apart: the right carries the inverted signal.
    for (size_t i = settled; i < settled + 100; ++i)
        ASSERT_NEAR(out.mainLeft[i], -out.mainRight[i], 2) << i;
}

TEST(AudioEngine, RegistersTwoGroupsOncePerStart)
{
    CAudioEngine engine;
    CAudioBus bus(44100, 4);
    ClientRecord record;
    uint8_t flags = 0;
    engine.Start(flags);
    EXPECT_EQ(flags & 3, 3);
    bus.Clear(0);
    engine.Render(record, bus, 0, 1);
    EXPECT_TRUE(bus.GroupInUse(1));
    EXPECT_EQ(bus.GroupType(1), 1);
    EXPECT_TRUE(bus.GroupInUse(2));
    EXPECT_EQ(bus.GroupType(2), 2);
    engine.Render(record, bus, 1, 1);
    EXPECT_FALSE(bus.GroupInUse(3));
    // A stop and start on the same bus registers again without running the bus out of groups.
    for (int i = 0; i < 3; ++i) {
        engine.Stop(flags);
        EXPECT_EQ(flags & 1, 0);
        engine.Start(flags);
        bus.Clear(0);
        engine.Render(record, bus, 0, 1);
    }
    EXPECT_NE(bus.GroupChannels(1)[0], CAudioBus::kNone);
    EXPECT_NE(bus.GroupChannels(2)[0], CAudioBus::kNone);
}

TEST(AudioEngine, MetersShowWhatIsAudibleAndSilentTicksStillFeedThem)
{
    CAudioEngine engine;
    CManualClock clock;
    engine.SetPlayClock(&clock);
    LoadSignal(engine.Deck(0), 3 * kSecond, Loud);
    engine.Deck(0).Play();
    RouteAToMainAndBToMonitor(engine);
    CAudioBus bus(44100, 8);
    RenderEngine(engine, bus, 12); // 96 ticks, about 279 ms
    // Nothing is due before the device reaches the time stamps.
    clock.Set(0);
    const int early = engine.MeterLevel(Meter::DeckA);
    EXPECT_LT(early, 50);
    clock.Set(300);
    EXPECT_GT(engine.MeterLevel(Meter::DeckA), 200);
    EXPECT_GT(engine.MeterLevel(Meter::Master), 200);
    // Nothing new: the last value stays.
    EXPECT_GT(engine.MeterLevel(Meter::DeckA), 200);
    // Silent ticks push readings too: with the deck gone the meter decays to nothing.
    engine.UnloadTrack(0);
    const EngineOutput silence = RenderEngine(engine, bus, 700); // 5.2 s
    clock.Set(100000);
    EXPECT_EQ(engine.MeterLevel(Meter::DeckA), 0);
    EXPECT_EQ(engine.MeterLevel(Meter::Master), 0);
    EXPECT_LT(ToneAmplitude(silence.mainLeft, 441.0, silence.mainLeft.size() - 4096), 1.0);
}

TEST(AudioEngine, LoadTrackPlaysAWavFileThroughTheLoaderAndRefillThreads)
{
    CTempDir dir;
    const std::string path = dir.Path("tone.wav");
    WriteSignalWav(path, 4 * kSecond, FrameCode);
    CAudioEngine engine;
    EXPECT_EQ(engine.LoadTrack(0, path.c_str(), 7, 128.0f, 0.9f, false), 1);
    EXPECT_EQ(engine.LoadedEntry(0), 7);
    ASSERT_TRUE(WaitFor([&] { return !engine.Loading(0) && engine.Deck(0).Store().WindowEnd() > 100; }));
    EXPECT_EQ(engine.TrackTitle(0), "tone");
    EXPECT_FLOAT_EQ(engine.Deck(0).BpmQuality(), 0.9f);
    engine.Deck(0).Play();
    const RenderedAudio out = RenderDeck(engine.Deck(0), 80);
    for (size_t i = 1; i < out.left.size(); ++i)
        ASSERT_EQ(out.left[i], FrameCode(static_cast<uint32_t>(i - 1))) << i;

    // The unload is silent at once; the loader frees the track.
    engine.UnloadTrack(0);
    EXPECT_EQ(engine.LoadedEntry(0), -1);
    EXPECT_FALSE(engine.Deck(0).Playing());
    EXPECT_TRUE(WaitFor([&] { return !engine.Deck(0).Loaded(); }));
}

// The first request holds the loader in its pause; two requests for the other deck arrive
// meanwhile, and only the second is loaded when the pause ends.
TEST(AudioEngine, NewerRequestReplacesOneNotYetTakenAndPauseHoldsTheLoader)
{
    CTempDir dir;
    for (const char* name : {"first.wav", "second.wav", "third.wav"})
        WriteSignalWav(dir.Path(name), kSecond, FrameCode);
    CAudioEngine engine;
    const auto start = std::chrono::steady_clock::now();
    engine.LoadTrack(1, dir.Path("first.wav").c_str(), 0, 0, 0, true);
    ASSERT_TRUE(WaitFor([&] { return engine.LoadsCompleted() == 1; }));
    engine.LoadTrack(0, dir.Path("second.wav").c_str(), 1, 0, 0, false);
    engine.LoadTrack(0, dir.Path("third.wav").c_str(), 2, 0, 0, false);
    EXPECT_TRUE(engine.Loading(0));
    ASSERT_TRUE(WaitFor([&] { return engine.LoadsCompleted() == 2 && !engine.Loading(0); }, 15000));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(4900));
    EXPECT_EQ(engine.TrackTitle(0), "third");
    EXPECT_EQ(engine.LoadedEntry(0), 2);
    EXPECT_EQ(engine.TrackTitle(1), "first");
    EXPECT_FALSE(engine.Loading(1));
    EXPECT_EQ(engine.LoadsCompleted(), 2u);
}

TEST(AudioEngine, EmptyPathIsRefusedWithoutLeavingTheDeckLoading)
{
    CAudioEngine engine;
    EXPECT_EQ(engine.LoadTrack(0, "", 4, 0, 0, false), 0);
    EXPECT_EQ(engine.LoadTrack(1, nullptr, 4, 0, 0, false), 0);
    EXPECT_FALSE(engine.Loading(0));
    EXPECT_FALSE(engine.Loading(1));
}

TEST(AudioEngine, UnreadableFileLeavesTheDeckEmpty)
{
    CTempDir dir;
    ASSERT_TRUE(WriteFile(dir.Path("broken.wav"), {'R', 'I', 'F', 'F', 1, 2}));
    CAudioEngine engine;
    for (const std::string& path : {dir.Path("broken.wav"), dir.Path("missing.wav"), dir.Root()}) {
        const uint32_t before = engine.LoadsCompleted();
        engine.LoadTrack(0, path.c_str(), 3, 0, 0, false);
        ASSERT_TRUE(WaitFor([&] { return engine.LoadsCompleted() == before + 1 && !engine.Loading(0); }));
        EXPECT_FALSE(engine.Deck(0).Loaded()) << path;
    }
    CAudioBus bus(44100, 2);
    const EngineOutput out = RenderEngine(engine, bus, 2);
    for (int16_t s : out.mainLeft)
        EXPECT_EQ(s, 0);
}

// Loader, refill and render at once; run under ThreadSanitizer in CI.
TEST(AudioEngine, LoaderRefillAndRenderRunTogether)
{
    CTempDir dir;
    WriteSignalWav(dir.Path("a.wav"), 3 * kSecond, Loud);
    WriteSignalWav(dir.Path("b.wav"), 2 * kSecond, FrameCode);
    CAudioEngine engine;
    CManualClock clock;
    engine.SetPlayClock(&clock);
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        CAudioBus bus(44100, 4);
        ClientRecord record;
        while (!stop.load()) {
            bus.Clear(blocks.load() * 12);
            for (uint16_t t = 0; t < 4; ++t)
                engine.Render(record, bus, t, 1);
            engine.Deck(0).ScratchInput(300.0f);
            blocks.fetch_add(1);
        }
    });
    for (int i = 0; i < 12; ++i) {
        const uint32_t before = engine.LoadsCompleted();
        engine.LoadTrack(i % 2, dir.Path(i % 3 == 0 ? "a.wav" : "b.wav").c_str(), i, 120.0f, 0.5f, false);
        engine.Deck(i % 2).Play();
        engine.Deck(i % 2).SeekSeconds(0.5);
        engine.Deck(1 - i % 2).SetTempo(1.37f);
        clock.Set(static_cast<uint32_t>(i * 50));
        engine.MeterLevel(static_cast<Meter>(i % 5));
        engine.Deck(0).PositionMs(true);
        ASSERT_TRUE(WaitFor([&] { return engine.LoadsCompleted() > before; }));
    }
    const int target = blocks.load() + 50;
    ASSERT_TRUE(WaitFor([&] { return blocks.load() > target; }));
    engine.UnloadTrack(0);
    stop.store(true);
    audio.join();
    EXPECT_TRUE(engine.Deck(1).Loaded());
}

TEST(AudioEngine, LoadingEndsWithTheNewestRequestWhateverItWas)
{
    CTempDir dir;
    const std::string path = dir.Path("tone.wav");
    WriteSignalWav(path, kSecond, FrameCode);
    CAudioEngine engine;
    engine.SetSynchronousLoading(true);
    // A load replaced by an unload before the loader came: nothing loads, nothing is loading.
    ASSERT_EQ(engine.LoadTrack(0, path.c_str(), 3, 0.0f, 0.0f, false), 1);
    EXPECT_TRUE(engine.Loading(0));
    engine.UnloadTrack(0);
    EXPECT_FALSE(engine.Loading(0));
    EXPECT_EQ(engine.ServeRequestsNow(10), 1);
    EXPECT_FALSE(engine.Deck(0).Loaded());
    EXPECT_FALSE(engine.Loading(0));
    // A load served, then a newer one waiting: loading until that one is served too.
    ASSERT_EQ(engine.LoadTrack(0, path.c_str(), 4, 0.0f, 0.0f, false), 1);
    engine.ServeRequestsNow(10);
    EXPECT_FALSE(engine.Loading(0));
    ASSERT_EQ(engine.LoadTrack(0, path.c_str(), 5, 0.0f, 0.0f, false), 1);
    EXPECT_TRUE(engine.Loading(0));
    EXPECT_EQ(engine.LoadedEntry(0), 5);
    engine.ServeRequestsNow(10);
    EXPECT_FALSE(engine.Loading(0));
    EXPECT_TRUE(engine.Deck(0).Loaded());
    // A path too long to pass on changes nothing.
    const std::string overlong(CLoadRequestBox::kMaxPath + 10, 'x');
    EXPECT_EQ(engine.LoadTrack(0, overlong.c_str(), 6, 0.0f, 0.0f, false), 0);
    EXPECT_FALSE(engine.Loading(0));
    EXPECT_EQ(engine.LoadedEntry(0), 5);
}

// An offline render's requests served between blocks with the decoding on a second thread:
// the same main and monitor mix as with it on the rendering thread, through a load on each deck,
// a seek and reverse play.
TEST(AudioEngine, DecodingAheadOnASecondThreadMixesTheSameAsOnOne)
{
    CTempDir dir;
    const std::string a = dir.Path("a.wav");
    const std::string b = dir.Path("b.wav");
    WriteSignalWav(a, 20 * kSecond, FrameCode);
    WriteSignalWav(b, 20 * kSecond, Loud);
    const auto mix = [&](bool secondThread) {
        CAudioEngine engine;
        engine.SetSynchronousLoading(true);
        engine.SetDecodeAhead(secondThread);
        RouteAToMainAndBToMonitor(engine);
        CAudioBus bus(44100, 8);
        uint8_t flags = 0;
        engine.Start(flags);
        EngineOutput out;
        for (int block = 0; block < 400; ++block) {
            if (block == 0 || block == 150) {
                engine.LoadTrack(0, block == 0 ? a.c_str() : b.c_str(), block, 0.0f, 0.0f, false);
                engine.LoadTrack(1, block == 0 ? b.c_str() : a.c_str(), block + 1, 0.0f, 0.0f, false);
            }
            engine.ServeRequestsAhead(24);
            if (block == 2 || block == 151) {
                engine.Deck(0).Play();
                engine.Deck(1).Play();
            }
            if (block == 60)
                engine.Deck(0).SeekFrames(12 * kSecond);
            if (block == 100)
                engine.Deck(1).SetReverse(true);
            const EngineOutput step = RenderEngine(engine, bus, 1);
            out.mainLeft.insert(out.mainLeft.end(), step.mainLeft.begin(), step.mainLeft.end());
            out.monitorLeft.insert(out.monitorLeft.end(), step.monitorLeft.begin(), step.monitorLeft.end());
        }
        engine.FinishDecodeAhead();
        return out;
    };
    const EngineOutput one = mix(false);
    EXPECT_GT(ToneAmplitude(one.monitorLeft, 441.0, 8 * 1024, 44100.0), 1000.0) << "deck B played";
    for (int run = 0; run < 3; ++run) {
        const EngineOutput two = mix(true);
        ASSERT_EQ(two.mainLeft, one.mainLeft) << "run " << run;
        ASSERT_EQ(two.monitorLeft, one.monitorLeft) << "run " << run;
    }
}
