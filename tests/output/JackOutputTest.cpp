// Runs against JACK servers on the dummy driver that the ctest fixtures start (jack-server.sh):
// QUANDEL_JACK_SERVERS names them: with "-44100" the one at 44100 Hz with four playback ports,
// with "-48000" the one at 48000 Hz with two; both run periods of 1024 frames. A second JACK client in the
// test captures what the driver's ports carry.
#include "JackOutput.h"
#include "AllocationCounter.h"
#include "AudioBus.h"
#include "OutputDeviceInfo.h"
#include "OutputDevices.h"
#include "OutputManager.h"
#include "OutputTestSupport.h"
#include "PolyphaseResampler.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string ServerName(const char* rate)
{
    const char* prefix = std::getenv("QUANDEL_JACK_SERVERS");
    return prefix != nullptr ? std::string(prefix) + "-" + rate : "";
}

template <class Condition> bool WaitUntil(Condition done, std::chrono::seconds limit)
{
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A server of the test's own, on the dummy driver, stopped with the object.
class COwnServer {
public:
    COwnServer(uint32_t rateHz, uint32_t periodFrames, int playbackPorts)
        : m_name("quandel-test-" + std::to_string(getpid()) + "-" + std::to_string(++s_count))
    {
        m_started = Run("start " + m_dir.Path("jack") + " " + m_name + " " + std::to_string(rateHz) + " " +
                        std::to_string(periodFrames) + " " + std::to_string(playbackPorts)) == 0;
    }
    ~COwnServer() { Stop(); }
    COwnServer(const COwnServer&) = delete;
    COwnServer& operator=(const COwnServer&) = delete;

    void Stop() { Run("stop " + m_dir.Path("jack")); }
    bool Started() const { return m_started; }
    const std::string& Name() const { return m_name; }

private:
    static int Run(const std::string& arguments)
    {
        return std::system(("bash " QUANDEL_JACK_SCRIPT " " + arguments).c_str());
    }

    static inline int s_count = 0;
    CTempDir m_dir;
    std::string m_name;
    bool m_started = false;
};

// A second client that records its input ports into memory allocated up front. In an xrun the
// capture may not see every buffer the driver delivered: the server leaves out one of its cycles
// (its frame time jumps), or it reads its inputs so late that the next cycle has begun and the
// driver's ports may already hold the next buffer. The capture notes both.
class CJackCapture {
public:
    // A place where the recording may not follow on: the frames in [uncheckedFrom, resumeAt)
    // may have been overwritten while being read, and at resumeAt the stream may have moved on
    // by up to aheadFrames, in whole buffers.
    struct Miss {
        uint32_t uncheckedFrom; // capture index
        uint32_t resumeAt;      // capture index
        uint32_t aheadFrames;   // frames of the server's clock that went by unseen, at most
        uint32_t bufferFrames;  // the server's buffer then
    };

    CJackCapture(const std::string& server, int channels, uint32_t maxFrames)
    {
        jack_status_t status{};
        m_client =
            jack_client_open("capture", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                             &status, server.c_str());
        if (m_client == nullptr)
            return;
        for (int c = 0; c < channels; ++c) {
            m_ports.push_back(jack_port_register(m_client, ("in_" + std::to_string(c + 1)).c_str(),
                                                 JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
            m_samples.emplace_back(maxFrames, 0.0f);
        }
        m_misses.resize(kMaxMisses);
        jack_set_process_callback(m_client, &CJackCapture::Process, this);
        jack_activate(m_client);
    }
    ~CJackCapture()
    {
        if (m_client != nullptr)
            jack_client_close(m_client);
    }
    CJackCapture(const CJackCapture&) = delete;
    CJackCapture& operator=(const CJackCapture&) = delete;

    bool Ok() const { return m_client != nullptr; }
    bool Connect(int channel, const std::string& source)
    {
        return jack_connect(m_client, source.c_str(), jack_port_name(m_ports[channel])) == 0;
    }
    // Frames recorded so far: every channel holds this many.
    uint32_t Frames() const { return m_frames.load(std::memory_order_acquire); }
    const std::vector<float>& Samples(int channel) const { return m_samples[channel]; }
    // The places where cycles were missed, in order.
    std::vector<Miss> Misses() const
    {
        return {m_misses.begin(), m_misses.begin() + m_missCount.load(std::memory_order_acquire)};
    }
    // Whether the named port feeds the named port.
    bool Connected(const std::string& from, const std::string& to) const
    {
        jack_port_t* port = jack_port_by_name(m_client, from.c_str());
        return port != nullptr && jack_port_connected_to(port, to.c_str()) != 0;
    }
    void Deactivate() { jack_deactivate(m_client); }

private:
    static int Process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<CJackCapture*>(arg);
        const uint32_t at = self->m_frames.load(std::memory_order_relaxed);
        const jack_nframes_t cycleStart = jack_last_frame_time(self->m_client);
        const uint32_t missed = cycleStart - self->m_lastCycleStart - self->m_lastCycleFrames;
        if (self->m_lastCycleFrames != 0 && missed != 0)
            self->Note({at, at, missed, frames});
        self->m_lastCycleStart = cycleStart;
        self->m_lastCycleFrames = frames;
        const uint32_t count = std::min<uint32_t>(frames, self->m_samples[0].size() - at);
        for (size_t c = 0; c < self->m_ports.size(); ++c) {
            const auto* in = static_cast<const float*>(jack_port_get_buffer(self->m_ports[c], frames));
            std::copy(in, in + count, self->m_samples[c].begin() + at);
        }
        // Read after the next cycle began: the driver may have been writing the next buffer.
        const uint32_t late = jack_frame_time(self->m_client) - cycleStart;
        if (late >= frames)
            self->Note({at, at + count, (late + frames - 1) / frames * frames, frames});
        self->m_frames.store(at + count, std::memory_order_release);
        return 0;
    }
    void Note(const Miss& miss) noexcept
    {
        const uint32_t misses = m_missCount.load(std::memory_order_relaxed);
        if (misses < kMaxMisses) {
            m_misses[misses] = miss;
            m_missCount.store(misses + 1, std::memory_order_release);
        }
    }

    static constexpr uint32_t kMaxMisses = 1024;
    jack_client_t* m_client = nullptr;
    std::vector<jack_port_t*> m_ports;
    std::vector<std::vector<float>> m_samples;
    std::atomic<uint32_t> m_frames{0};
    std::vector<Miss> m_misses; // kMaxMisses, of which m_missCount are filled
    std::atomic<uint32_t> m_missCount{0};
    jack_nframes_t m_lastCycleStart = 0; // process thread
    uint32_t m_lastCycleFrames = 0;      // 0 before the first cycle
};

int FirstNonZero(const std::vector<float>& samples, uint32_t frames)
{
    for (uint32_t i = 0; i < frames; ++i) {
        if (samples[i] != 0.0f)
            return static_cast<int>(i);
    }
    return -1;
}

// What the capture's main pair carried. The capture's ports are connected one after another,
// and each connection takes effect at a cycle boundary of the server's choosing, so a channel
// may start a few cycles after its neighbour: each is checked from its own first nonzero sample
// (MainSample never gives 0), both against one frame numbering taken from the channel that
// started first. Where the capture missed a buffer in an xrun, the stream may go on by whole
// server buffers, up to as many as went by unseen, and by nothing else; a buffer read late is
// left unchecked.
struct MainStreamCheck {
    int errors = 0;               // frames of either channel that are not the expected frame, exactly
    uint32_t unseenFrames = 0;    // stream frames the capture did not see
    uint32_t uncheckedFrames = 0; // frames read late, not checked
    int leftFirst = -1;           // capture index of the first signal on the left, -1 for none
    int rightFirst = -1;          // the same for the right
    int firstIndex = -1;          // the earlier of the two
    uint32_t firstFrame = 0;      // the stream frame at firstIndex
};

// Every frame from a channel's first signal on must be the next frame of the stream: left
// MainSample(frame), right its negative, frame counting on from firstFrame at firstIndex and
// skipping only what went by in missed cycles.
MainStreamCheck CheckMainStream(const CJackCapture& capture, int leftChannel, uint32_t frames)
{
    MainStreamCheck check;
    const auto& left = capture.Samples(leftChannel);
    const auto& right = capture.Samples(leftChannel + 1);
    check.leftFirst = FirstNonZero(left, frames);
    check.rightFirst = FirstNonZero(right, frames);
    if (check.leftFirst < 0 || check.rightFirst < 0) {
        check.errors = static_cast<int>(frames);
        return check;
    }
    check.firstIndex = std::min(check.leftFirst, check.rightFirst);
    const float named =
        check.leftFirst <= check.rightFirst ? left[check.firstIndex] : -right[check.firstIndex];
    check.firstFrame = static_cast<uint32_t>(std::lround(named * 32768.0f)) - 1;
    uint32_t frame = check.firstFrame; // the stream frame expected at capture index i
    const std::vector<CJackCapture::Miss> misses = capture.Misses();
    auto miss = misses.begin();
    for (uint32_t i = check.firstIndex; i < frames; ++i, ++frame) {
        while (miss != misses.end() && miss->resumeAt < i)
            ++miss;
        if (miss != misses.end() && miss->uncheckedFrom <= i && i < miss->resumeAt) {
            ++check.uncheckedFrames;
            continue;
        }
        if (miss != misses.end() && miss->resumeAt == i && static_cast<int>(i) > check.firstIndex) {
            const float sample = static_cast<int>(i) >= check.leftFirst ? left[i] : -right[i];
            const uint32_t at = static_cast<uint32_t>(std::lround(sample * 32768.0f)) - 1;
            const uint32_t ahead = (at + 20000 - frame % 20000) % 20000;
            if (ahead % miss->bufferFrames == 0 && ahead <= miss->aheadFrames) {
                frame += ahead;
                check.unseenFrames += ahead;
            }
        }
        const float expected = MainSample(frame) / 32768.0f;
        const bool leftBad = static_cast<int>(i) >= check.leftFirst && left[i] != expected;
        const bool rightBad = static_cast<int>(i) >= check.rightFirst && right[i] != -expected;
        if (leftBad || rightBad) {
            if (check.errors++ == 0)
                std::printf("first gap at capture index %u: %.0f %.0f, expected %.0f %.0f\n", i,
                            left[i] * 32768.0, right[i] * 32768.0, expected * 32768.0, -expected * 32768.0);
        }
    }
    return check;
}

// The two tone sums the tone client renders, in 16-bit units: left 1 kHz, 5 kHz and 15 kHz,
// right 2 kHz and 9 kHz, each at 6000.
constexpr double kToneAmplitude = 6000.0;
const std::array<double, 3> kLeftTones = {1000.0, 5000.0, 15000.0};
const std::array<double, 2> kRightTones = {2000.0, 9000.0};

template <size_t N> int16_t ToneSum(const std::array<double, N>& tones, uint32_t frame)
{
    double sum = 0.0;
    for (const double hz : tones)
        sum += kToneAmplitude * std::sin(2.0 * M_PI * hz * frame / 44100.0);
    return static_cast<int16_t>(std::lround(sum));
}

// Renders the tone sums on the main group, hard left and hard right.
class CJackToneClient : public CAudioClient {
public:
    int Render(ClientRecord& /*record*/, CAudioBus& bus, uint16_t firstTick,
               uint16_t tickCount) noexcept override
    {
        const uint8_t group = bus.RegisterGroup(1);
        bus.SelectGroup(group);
        for (const int side : {0, 1}) {
            const uint8_t channel = bus.AllocChannel(firstTick, tickCount);
            for (uint32_t t = firstTick; t < static_cast<uint32_t>(firstTick + tickCount); ++t) {
                CSampleBuffer& slice = bus.Slice(channel, t);
                for (uint32_t i = 0; i < CAudioBus::kTickFrames; ++i) {
                    const uint32_t frame = m_frames + (t - firstTick) * CAudioBus::kTickFrames + i;
                    slice.Samples()[i] = side == 0 ? ToneSum(kLeftTones, frame) : ToneSum(kRightTones, frame);
                }
                slice.SetPan(side == 0 ? -128 : 127);
                slice.SetGain(CSampleBuffer::kUnityGain);
            }
        }
        m_frames += tickCount * CAudioBus::kTickFrames;
        return 1;
    }

private:
    uint32_t m_frames = 0;
};

struct ToneFit {
    std::vector<double> amplitudes; // per tone, in 16-bit units
    double residualDb;              // re the fitted signal's RMS
};

// Least-squares fit of DC and a sine and cosine per tone to samples at 44100 Hz.
ToneFit FitTones(const std::vector<double>& samples, const std::vector<double>& tones)
{
    const size_t n = 1 + 2 * tones.size();
    std::vector<std::vector<double>> a(n, std::vector<double>(n + 1, 0.0));
    std::vector<double> basis(n);
    auto fill = [&](size_t i) {
        basis[0] = 1.0;
        for (size_t k = 0; k < tones.size(); ++k) {
            basis[1 + 2 * k] = std::sin(2.0 * M_PI * tones[k] * i / 44100.0);
            basis[2 + 2 * k] = std::cos(2.0 * M_PI * tones[k] * i / 44100.0);
        }
    };
    for (size_t i = 0; i < samples.size(); ++i) {
        fill(i);
        for (size_t r = 0; r < n; ++r) {
            for (size_t c = 0; c < n; ++c)
                a[r][c] += basis[r] * basis[c];
            a[r][n] += basis[r] * samples[i];
        }
    }
    for (size_t col = 0; col < n; ++col) {
        for (size_t r = col + 1; r < n; ++r) {
            const double factor = a[r][col] / a[col][col];
            for (size_t c = col; c <= n; ++c)
                a[r][c] -= factor * a[col][c];
        }
    }
    std::vector<double> x(n);
    for (size_t r = n; r-- > 0;) {
        double sum = a[r][n];
        for (size_t c = r + 1; c < n; ++c)
            sum -= a[r][c] * x[c];
        x[r] = sum / a[r][r];
    }
    double residual = 0.0;
    double signal = 0.0;
    for (size_t i = 0; i < samples.size(); ++i) {
        fill(i);
        double fitted = 0.0;
        for (size_t k = 0; k < n; ++k)
            fitted += x[k] * basis[k];
        residual += (samples[i] - fitted) * (samples[i] - fitted);
        signal += fitted * fitted;
    }
    ToneFit fit;
    for (size_t k = 0; k < tones.size(); ++k)
        fit.amplitudes.push_back(std::hypot(x[1 + 2 * k], x[2 + 2 * k]));
    fit.residualDb = 10.0 * std::log10(residual / signal);
    return fit;
}

COutputDeviceInfo JackRecord(uint8_t groupMask)
{
    COutputDeviceInfo record;
    record.device = OutputIds::kProAudioFirst;
    record.mainGroupMask = groupMask;
    return record;
}

} // namespace

TEST(JackOutput, StreamArrivesWithoutGapsOnFourOutputsAndEveryCallbackIsFilled)
{
    const std::string server = ServerName("44100");
    ASSERT_FALSE(server.empty()) << "run through ctest: its fixture starts the server";
    COutputManager manager;
    COutputDeviceInfo master = JackRecord(1);
    auto* driver =
        static_cast<CJackOutput*>(manager.OpenMaster(master, std::make_unique<CJackOutput>(server)));
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(master.blockFrames, 1024u);
    EXPECT_FALSE(driver->Resampling());
    EXPECT_EQ(driver->OutputChannels(), 4);
    COutputDeviceInfo second = JackRecord(2); // the monitor mix on outputs 3 and 4
    auto* secondary =
        static_cast<CJackOutput*>(manager.AttachSecondary(second, std::make_unique<CJackOutput>(server)));
    ASSERT_NE(secondary, nullptr);
    CCodeClient client;
    ClientRecord flags;
    ASSERT_EQ(manager.Start(client, flags), 0);

    constexpr uint32_t kFrames = 2 * 44100;
    CJackCapture capture(server, 4, kFrames);
    ASSERT_TRUE(capture.Ok());
    using E = CJackOutput::Entry;
    for (const E entry : {E::MasterLeft, E::MasterRight, E::SecondaryLeft, E::SecondaryRight})
        ASSERT_TRUE(capture.Connect(entry, driver->PortName(entry))) << entry;
    EXPECT_TRUE(WaitUntil([&] { return capture.Frames() >= kFrames; }, std::chrono::seconds(20)));
    capture.Deactivate();
    for (int entry = 0; entry < 4; ++entry) {
        EXPECT_TRUE(capture.Connected(driver->PortName(static_cast<E>(entry)),
                                      "system:playback_" + std::to_string(entry + 1)))
            << entry;
    }
    const uint32_t xruns = driver->Xruns();
    const uint32_t shortSwitches = driver->ShortSwitches();
    EXPECT_EQ(secondary->Xruns(), xruns) << "the secondary reads its master's connection";
    manager.Close();

    const MainStreamCheck main = CheckMainStream(capture, 0, kFrames);
    EXPECT_EQ(main.errors, 0);
    EXPECT_LT(std::max(main.leftFirst, main.rightFirst), static_cast<int>(kFrames / 2))
        << "both channels were checked for at least a second";
    // The secondary's frames are the same frames as the master's. MainSample wraps every 20000
    // frames, so the monitor signal (period 7000) tells which wrap the first frame was in. Each
    // monitor channel is checked from its own first signal, as the main pair is.
    const auto& monitorLeft = capture.Samples(2);
    const auto& monitorRight = capture.Samples(3);
    const int leftFrom = std::max(main.firstIndex, FirstNonZero(monitorLeft, kFrames));
    const int rightFrom = std::max(main.firstIndex, FirstNonZero(monitorRight, kFrames));
    ASSERT_GE(std::min(leftFrom, rightFrom), 0);
    EXPECT_LT(std::max(leftFrom, rightFrom), static_cast<int>(kFrames / 2));
    int bad = static_cast<int>(kFrames);
    for (uint32_t wrap = 0; wrap < 7 && bad != 0; ++wrap) {
        bad = 0;
        const uint32_t base = main.firstFrame + wrap * 20000 - main.firstIndex;
        for (uint32_t i = std::min(leftFrom, rightFrom); i < kFrames; ++i) {
            // The monitor sits at pan 0, which the bus's pan law weighs 128/256 left, 129/256 right.
            const float left = monitorLeft[i] * 32768.0f;
            const float right = monitorRight[i] * 32768.0f;
            bad += (static_cast<int>(i) >= leftFrom &&
                    std::fabs(left - MonitorSample(base + i) * 128 / 256) > 2) ||
                   (static_cast<int>(i) >= rightFrom &&
                    std::fabs(right - MonitorSample(base + i) * 129 / 256) > 2);
        }
    }
    EXPECT_EQ(bad, 0) << "outputs 3 and 4 carry the secondary's mix in step with the master";
    // A starved machine makes the dummy server miss cycles whatever the driver does; that the
    // driver kept up is that it filled every callback it was given.
    std::printf("xruns: %u\n", xruns);
    EXPECT_EQ(shortSwitches, 0u);
}

TEST(JackOutput, AServerAt48000IsFedResampledAndTheStreamComesBackWithinError)
{
    const std::string server = ServerName("48000");
    ASSERT_FALSE(server.empty()) << "run through ctest: its fixture starts the server";
    COutputManager manager;
    COutputDeviceInfo master = JackRecord(1);
    auto* driver =
        static_cast<CJackOutput*>(manager.OpenMaster(master, std::make_unique<CJackOutput>(server)));
    ASSERT_NE(driver, nullptr);
    EXPECT_TRUE(driver->Resampling());
    EXPECT_EQ(master.blockFrames, 1152u) << "one tick more than the server's buffer when resampling";
    // A server with two outputs: the secondary has no channels and writes nothing.
    COutputDeviceInfo second = JackRecord(1);
    auto* secondary =
        static_cast<CJackOutput*>(manager.AttachSecondary(second, std::make_unique<CJackOutput>(server)));
    ASSERT_NE(secondary, nullptr);
    EXPECT_EQ(secondary->Channel(CJackOutput::SecondaryLeft), -1);
    EXPECT_EQ(secondary->Channel(CJackOutput::SecondaryRight), -1);
    CJackToneClient client;
    ClientRecord flags;
    ASSERT_EQ(manager.Start(client, flags), 0);

    constexpr uint32_t kFrames = 48000 * 3 / 2;
    CJackCapture capture(server, 2, kFrames);
    ASSERT_TRUE(capture.Ok());
    ASSERT_TRUE(capture.Connect(0, driver->PortName(CJackOutput::MasterLeft)));
    ASSERT_TRUE(capture.Connect(1, driver->PortName(CJackOutput::MasterRight)));
    EXPECT_TRUE(WaitUntil([&] { return capture.Frames() >= kFrames; }, std::chrono::seconds(20)));
    capture.Deactivate();
    EXPECT_TRUE(driver->PortName(CJackOutput::SecondaryLeft).empty());
    EXPECT_GT(driver->FramesToPorts(), 0u);
    EXPECT_EQ(secondary->FramesToPorts(), 0u);
    EXPECT_EQ(driver->ShortSwitches(), 0u) << "every callback was filled";
    std::printf("xruns: %u\n", driver->Xruns());
    manager.Close();

    // Back to 44100 Hz and fitted with the tones rendered: a lost, repeated or shifted frame
    // anywhere in the window would leave a residual near the signal's own level.
    for (const int channel : {0, 1}) {
        const auto& captured = capture.Samples(channel);
        const int start = std::max(FirstNonZero(captured, kFrames), 0) + 4800;
        CPolyphaseResampler back;
        ASSERT_TRUE(back.Configure(48000, 44100, kFrames));
        std::vector<float> restored(kFrames);
        const uint32_t count =
            back.Process(captured.data() + start, 1, kFrames - start, restored.data(), kFrames);
        ASSERT_GT(count, 44100u / 2);
        // Leaves out the resampler's start-up and the unfinished end.
        const std::vector<double> window(restored.begin() + 256, restored.begin() + (count - 256));
        std::vector<double> scaled;
        for (const double sample : window)
            scaled.push_back(sample * 32768.0);
        const std::vector<double> tones = channel == 0
                                              ? std::vector<double>(kLeftTones.begin(), kLeftTones.end())
                                              : std::vector<double>(kRightTones.begin(), kRightTones.end());
        const ToneFit fit = FitTones(scaled, tones);
        std::printf("channel %d: residual after 44100 -> 48000 -> 44100 Hz: %.1f dB over %zu frames\n",
                    channel, fit.residualDb, scaled.size());
        EXPECT_LT(fit.residualDb, -80.0) << channel;
        for (const double amplitude : fit.amplitudes)
            EXPECT_NEAR(20.0 * std::log10(amplitude / kToneAmplitude), 0.0, 0.01) << channel;
    }
}

TEST(JackOutput, ServerBufferOf300FramesIsFilledExactlyThroughTheCarriedFrames)
{
    COwnServer server(44100, 300, 2);
    ASSERT_TRUE(server.Started());
    COutputManager manager;
    COutputDeviceInfo master = JackRecord(1);
    auto* driver =
        static_cast<CJackOutput*>(manager.OpenMaster(master, std::make_unique<CJackOutput>(server.Name())));
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(master.blockFrames, 512u);
    EXPECT_EQ(driver->ServerBufferFrames(), 300u);
    CCodeClient client;
    ClientRecord flags;
    ASSERT_EQ(manager.Start(client, flags), 0);
    constexpr uint32_t kFrames = 44100;
    CJackCapture capture(server.Name(), 2, kFrames);
    ASSERT_TRUE(capture.Ok());
    ASSERT_TRUE(capture.Connect(0, driver->PortName(CJackOutput::MasterLeft)));
    ASSERT_TRUE(capture.Connect(1, driver->PortName(CJackOutput::MasterRight)));
    EXPECT_TRUE(WaitUntil([&] { return capture.Frames() >= kFrames; }, std::chrono::seconds(20)));
    capture.Deactivate();
    const uint32_t shortSwitches = driver->ShortSwitches();
    const uint32_t blocks = client.Blocks();
    const uint32_t xruns = driver->Xruns();
    manager.Close();

    // Periods of 6.8 ms see an xrun now and then on a busy machine, in which the server may
    // leave out the capture's cycle after the driver has filled its ports: those buffers are
    // unseen, not wrong, so xruns are only reported. The carried frames are checked on every
    // buffer the capture saw.
    const MainStreamCheck main = CheckMainStream(capture, 0, kFrames);
    std::printf("xruns %u, capture missed buffers %zu times: %u frames of the stream unseen, %u read "
                "late and not checked\n",
                xruns, capture.Misses().size(), main.unseenFrames, main.uncheckedFrames);
    EXPECT_EQ(main.errors, 0);
    EXPECT_LT(std::max(main.leftFirst, main.rightFirst), static_cast<int>(kFrames / 2))
        << "both channels were checked for at least half a second";
    EXPECT_EQ(shortSwitches, 0u);
    // Two or three ticks per switch: between 256 and 384 frames rendered per 300 played.
    EXPECT_GT(blocks, 0u);
    EXPECT_GE(client.FramesRendered(), blocks * 256u);
    EXPECT_LE(client.FramesRendered(), blocks * 384u);
}

TEST(JackOutput, StallInTheEngineIsCountedAsXruns)
{
    const std::string server = ServerName("44100");
    ASSERT_FALSE(server.empty()) << "run through ctest: its fixture starts the server";
    COutputManager manager;
    COutputDeviceInfo master = JackRecord(1);
    auto* driver =
        static_cast<CJackOutput*>(manager.OpenMaster(master, std::make_unique<CJackOutput>(server)));
    ASSERT_NE(driver, nullptr);
    CCodeClient client;
    // Three renders that take more than two periods each.
    client.duringRender = [&] {
        const uint32_t block = client.Blocks();
        if (block == 10 || block == 20 || block == 30)
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
    };
    ClientRecord flags;
    ASSERT_EQ(manager.Start(client, flags), 0);
    EXPECT_TRUE(WaitUntil([&] { return client.Blocks() >= 40; }, std::chrono::seconds(20)));
    const uint32_t xruns = driver->Xruns();
    manager.Close();
    std::printf("xruns counted: %u\n", xruns);
    EXPECT_GE(xruns, 1u);
}

TEST(JackOutput, ServerGoingAwayMidRunStopsTheOutputAndTheProgramGoesOn)
{
    COwnServer server(44100, 1024, 2);
    ASSERT_TRUE(server.Started());
    COutputManager manager;
    COutputDeviceInfo master = JackRecord(1);
    auto* driver =
        static_cast<CJackOutput*>(manager.OpenMaster(master, std::make_unique<CJackOutput>(server.Name())));
    ASSERT_NE(driver, nullptr);
    CCodeClient client;
    ClientRecord flags;
    ASSERT_EQ(manager.Start(client, flags), 0);
    EXPECT_TRUE(WaitUntil([&] { return client.FramesRendered() >= 20 * 1024; }, std::chrono::seconds(20)));

    server.Stop();
    EXPECT_TRUE(WaitUntil([&] { return !manager.Running(); }, std::chrono::seconds(20)));
    EXPECT_TRUE(driver->ServerLost());
    EXPECT_EQ(flags.flags & 1, 0) << "the client was told the run stopped";
    const uint32_t rendered = client.FramesRendered();
    manager.Close();
    EXPECT_EQ(manager.Master(), nullptr);
    EXPECT_EQ(client.FramesRendered(), rendered) << "nothing rendered after the run stopped";

    // The program goes on: the next open, with the server gone, fails cleanly.
    COutputDeviceInfo again = JackRecord(1);
    EXPECT_EQ(manager.OpenMaster(again, std::make_unique<CJackOutput>(server.Name())), nullptr);
}

TEST(JackOutput, ClientEndingInsideTheSwitchStopsTheRunAndTheNextStartPlaysAgain)
{
    const std::string server = ServerName("44100");
    ASSERT_FALSE(server.empty()) << "run through ctest: its fixture starts the server";
    COutputManager manager;
    COutputDeviceInfo master = JackRecord(1);
    auto* driver =
        static_cast<CJackOutput*>(manager.OpenMaster(master, std::make_unique<CJackOutput>(server)));
    ASSERT_NE(driver, nullptr);
    CCodeClient ending(10 * 1024);
    ClientRecord flags;
    ASSERT_EQ(manager.Start(ending, flags), 0);
    EXPECT_TRUE(WaitUntil([&] { return !manager.Running(); }, std::chrono::seconds(20)));
    EXPECT_EQ(ending.FramesRendered(), 10u * 1024);

    // The client is still active after a stop from its own process thread: Start restarts it.
    CCodeClient next;
    ASSERT_EQ(manager.Start(next, flags), 0);
    EXPECT_TRUE(WaitUntil([&] { return next.FramesRendered() >= 10 * 1024; }, std::chrono::seconds(20)));
    uint32_t position = 0;
    EXPECT_EQ(driver->GetPosition(position), 0);
    EXPECT_GE(position, 10u * 1024) << "counted from the new Start";
    EXPECT_LE(position, next.FramesRendered());
    EXPECT_EQ(driver->ShortSwitches(), 0u);
    manager.Close();
}

TEST(JackOutput, OpenReportsAMissingServerAndASecondaryWithoutMaster)
{
    CJackOutput secondary;
    COutputManager manager;
    COutputDeviceInfo record = JackRecord(1);
    record.master = 0;
    EXPECT_EQ(secondary.Open(record, manager), CJackOutput::kNoServer);
    CJackOutput master("quandel-test-no-such-server");
    COutputDeviceInfo masterRecord = JackRecord(1);
    EXPECT_EQ(master.Open(masterRecord, manager), CJackOutput::kNoServer);
    // The device list's identifier makes this driver.
    EXPECT_NE(dynamic_cast<CJackOutput*>(CreateDriver(masterRecord).get()), nullptr);
}

TEST(JackOutput, BufferSwitchAllocatesNothing)
{
    // At 48000 Hz the resampling path runs; the secondary's Write runs too.
    const std::string server = ServerName("48000");
    ASSERT_FALSE(server.empty()) << "run through ctest: its fixture starts the server";
    COutputManager manager;
    COutputDeviceInfo master = JackRecord(1);
    ASSERT_NE(manager.OpenMaster(master, std::make_unique<CJackOutput>(server)), nullptr);
    COutputDeviceInfo second = JackRecord(2);
    ASSERT_NE(manager.AttachSecondary(second, std::make_unique<CJackOutput>(server)), nullptr);
    CCodeClient client;
    // Counts on the process thread from one render to the next: the whole switch but for the
    // part of the first one before its render.
    std::atomic<long> allocations{0};
    client.duringRender = [&] {
        allocations.fetch_add(CAllocationCounter::Stop());
        CAllocationCounter::Start();
    };
    ClientRecord flags;
    ASSERT_EQ(manager.Start(client, flags), 0);
    EXPECT_TRUE(WaitUntil([&] { return client.Blocks() >= 40; }, std::chrono::seconds(20)));
    manager.Close();
    EXPECT_EQ(allocations.load(), 0);
}

// libjack keeps one server per process (a client opened towards a second server lands on the
// first), so the two devices share the server with four outputs: each has a connection, a client
// and ports of its own.
TEST(JackOutput, TwoManagersOpenAtOnceEachPlayTheirOwnStream)
{
    const std::string server = ServerName("44100");
    ASSERT_FALSE(server.empty()) << "run through ctest: its fixture starts the server";
    COutputManager managers[2];
    COutputDeviceInfo masters[2] = {JackRecord(1), JackRecord(1)};
    COutputDeviceInfo seconds[2] = {JackRecord(2), JackRecord(2)};
    CJackOutput* drivers[2] = {};
    CJackOutput* secondaries[2] = {};
    for (const int m : {0, 1}) {
        drivers[m] = static_cast<CJackOutput*>(
            managers[m].OpenMaster(masters[m], std::make_unique<CJackOutput>(server)));
        ASSERT_NE(drivers[m], nullptr) << m;
        // Each secondary joins the master of its own manager.
        secondaries[m] = static_cast<CJackOutput*>(
            managers[m].AttachSecondary(seconds[m], std::make_unique<CJackOutput>(server)));
        ASSERT_NE(secondaries[m], nullptr) << m;
        EXPECT_EQ(drivers[m]->OutputChannels(), 4) << m;
        EXPECT_EQ(secondaries[m]->Channel(CJackOutput::SecondaryLeft), 2) << m;
    }
    CCodeClient clients[2];
    ClientRecord flags[2];
    for (const int m : {0, 1})
        ASSERT_EQ(managers[m].Start(clients[m], flags[m]), 0) << m;
    std::string clientNames[2];
    for (const int m : {0, 1}) {
        const std::string port = drivers[m]->PortName(CJackOutput::MasterLeft);
        clientNames[m] = port.substr(0, port.find(':'));
        EXPECT_EQ(secondaries[m]->PortName(CJackOutput::SecondaryLeft), clientNames[m] + ":secondary_left")
            << m;
    }
    EXPECT_NE(clientNames[0], clientNames[1]) << "one client per device";

    constexpr uint32_t kFrames = 44100;
    CJackCapture captures[2] = {{server, 2, kFrames}, {server, 2, kFrames}};
    for (const int m : {0, 1}) {
        ASSERT_TRUE(captures[m].Ok()) << m;
        ASSERT_TRUE(captures[m].Connect(0, drivers[m]->PortName(CJackOutput::MasterLeft))) << m;
        ASSERT_TRUE(captures[m].Connect(1, drivers[m]->PortName(CJackOutput::MasterRight))) << m;
    }
    for (const int m : {0, 1}) {
        EXPECT_TRUE(WaitUntil([&] { return captures[m].Frames() >= kFrames; }, std::chrono::seconds(20)))
            << m;
        captures[m].Deactivate();
    }
    uint32_t shortSwitches[2] = {};
    for (const int m : {0, 1}) {
        shortSwitches[m] = drivers[m]->ShortSwitches();
        EXPECT_GT(drivers[m]->FramesToPorts(), kFrames / 2) << m;
        EXPECT_GT(clients[m].FramesRendered(), kFrames / 2) << m;
    }
    for (COutputManager& manager : managers)
        manager.Close();
    // Each capture reads one device's ports: a stream without gaps, rendered by that device's
    // own client.
    for (const int m : {0, 1}) {
        const MainStreamCheck main = CheckMainStream(captures[m], 0, kFrames);
        EXPECT_EQ(main.errors, 0) << m;
        EXPECT_LT(std::max(main.leftFirst, main.rightFirst), static_cast<int>(kFrames / 2)) << m;
        EXPECT_EQ(shortSwitches[m], 0u) << m;
    }
}
