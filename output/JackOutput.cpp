#include "JackOutput.h"

#include "AudioThread.h"
#include "JackClient.h"
#include "OutputDeviceInfo.h"
#include "OutputManager.h"
#include "Tick.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kClientName = "quandel";
constexpr std::array<const char*, CJackOutput::kEntries> kPortNames = {"master_left", "master_right",
                                                                       "secondary_left", "secondary_right"};

} // namespace

// One server connection: a master and at most one secondary of the same manager. Written on the
// user-interface thread while the client is inactive (no process callback runs), read by the
// process callback; the instance pointers and counters are atomics because the callbacks read
// them while the user-interface thread may look. The instances hold it, so it outlives the
// client, which the master's Close closes.
struct CJackOutput::ServerConnection {
    CJackClient client;
    std::atomic<CJackOutput*> master{nullptr};    // the open master; it opened the client
    std::atomic<CJackOutput*> secondary{nullptr}; // the one instance on outputs 3 and 4
    std::vector<std::string> physicalPorts;       // the server's playback ports, at most 16
    std::array<int, kEntries> table{0, 1, 2, 3};  // physical port per entry, -1 unassigned
    std::array<jack_port_t*, kEntries> ports{};   // ours, registered by the first Start
    std::array<float*, kEntries> portBuffers{};   // this cycle's, null for unassigned entries
    uint32_t recordRate = 44100;                  // Hz the engine renders at
    uint32_t serverRate = 44100;                  // Hz
    uint32_t bufferFrames = 0;                    // the server's buffer at Open: the largest a switch serves
    bool resample = false;
    bool active = false; // the client is activated; user-interface thread
    std::atomic<uint32_t> xruns{0};
    std::atomic<uint32_t> shortSwitches{0};
    std::atomic<bool> serverLost{false};
};

CJackOutput::~CJackOutput()
{
    Close();
}

bool CJackOutput::IsMaster() const noexcept
{
    return m_connection != nullptr && m_connection->master.load(std::memory_order_acquire) == this;
}

int CJackOutput::Open(COutputDeviceInfo& record, COutputManager& manager)
{
    AssertNotAudioThread("CJackOutput::Open");
    Close();
    m_record = &record;
    m_manager = &manager;
    // The blocks come as 16-bit samples whatever the record asked for; the ports take floats.
    record.bytesPerSample = 2;
    int result = 0;
    if (record.master != 0) {
        m_connection = std::make_shared<ServerConnection>();
        result = OpenMaster(record);
    } else {
        // A secondary rides on the connection of its manager's master; outputs 3-4 serve one.
        const auto* master = dynamic_cast<const CJackOutput*>(manager.Master());
        if (master != nullptr && master->m_connection != nullptr &&
            master->m_connection->master.load() == master &&
            master->m_connection->secondary.load() == nullptr)
            m_connection = master->m_connection;
        else
            result = kNoServer;
    }
    if (result == 0)
        result = SetUpBuffers(m_connection->bufferFrames);
    if (result != 0) {
        if (IsMaster()) {
            m_connection->master.store(nullptr);
            m_connection->client.Close();
        }
        m_connection.reset();
        m_record = nullptr;
        return result;
    }
    if (record.master == 0) {
        m_left = SecondaryLeft;
        m_right = SecondaryRight;
        m_connection->secondary.store(this, std::memory_order_release);
    }
    return 0;
}

int CJackOutput::OpenMaster(COutputDeviceInfo& record)
{
    ServerConnection& s = *m_connection;
    if (!s.client.Open(kClientName, m_serverName))
        return kNoServer;
    s.master.store(this, std::memory_order_release);
    jack_client_t* client = s.client.Get();

    s.physicalPorts.clear();
    if (const char** names =
            jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput)) {
        for (int i = 0; names[i] != nullptr && i < kMaxChannels; ++i)
            s.physicalPorts.emplace_back(names[i]);
        jack_free(names);
    }
    // A server without playback ports would take the blocks and play nothing.
    if (s.physicalPorts.empty())
        return kNoServer;

    s.recordRate = record.sampleRate != 0 ? record.sampleRate : 44100;
    s.serverRate = jack_get_sample_rate(client);
    s.resample = s.serverRate != s.recordRate;
    if (s.serverRate < CPolyphaseResampler::kMinRateHz || s.serverRate > CPolyphaseResampler::kMaxRateHz)
        return kBadRate;
    // The server's buffer is both the preferred and the largest size: it never takes another.
    s.bufferFrames = jack_get_buffer_size(client);
    if (s.bufferFrames == 0)
        return kNoServer;
    const uint32_t inputFrames = CSwitchBuffer::InputFramesFor(s.bufferFrames, s.recordRate, s.serverRate);
    // A slow server with a long buffer would need more than the largest block per switch.
    if (inputFrames + kTickFrames > CSwitchBuffer::kMaxBlockFrames)
        return kBadRate;
    record.blockFrames = CSwitchBuffer::SizesFor(inputFrames, s.bufferFrames, s.resample).blockFrames;

    s.table = {MasterLeft, MasterRight, SecondaryLeft, SecondaryRight};
    for (int& channel : s.table) {
        if (channel >= static_cast<int>(s.physicalPorts.size()))
            channel = -1;
    }
    for (const int channel : s.table) {
        if (channel < 0)
            continue;
        jack_port_t* port = jack_port_by_name(client, s.physicalPorts[channel].c_str());
        if (port == nullptr)
            return kNoServer;
        if (std::strcmp(jack_port_type(port), JACK_DEFAULT_AUDIO_TYPE) != 0)
            return kBadSampleType;
    }

    if (jack_set_process_callback(client, &CJackOutput::Process, &s) != 0 ||
        jack_set_xrun_callback(client, &CJackOutput::OnXrun, &s) != 0 ||
        jack_set_thread_init_callback(client, &CJackOutput::OnThreadInit, &s) != 0)
        return kNoServer;
    jack_on_info_shutdown(
        client, [](jack_status_t, const char*, void* arg) { OnShutdown(arg); }, &s);
    return 0;
}

int CJackOutput::SetUpBuffers(uint32_t serverBufferFrames)
{
    const ServerConnection& s = *m_connection;
    m_buffer.Configure(CSwitchBuffer::CapacityFor(serverBufferFrames, s.recordRate, s.serverRate));
    m_resample = s.resample;
    if (m_resample) {
        for (CPolyphaseResampler& resampler : m_resamplers) {
            if (!resampler.Configure(s.recordRate, s.serverRate, m_record->blockFrames))
                return kBadRate;
        }
    }
    m_carried.store(0);
    return 0;
}

int CJackOutput::Close()
{
    AssertNotAudioThread("CJackOutput::Close");
    if (m_record == nullptr)
        return 0;
    ServerConnection& s = *m_connection;
    Stop();
    if (IsMaster()) {
        if (s.active && !s.serverLost.load())
            jack_deactivate(s.client.Get());
        s.active = false;
        // Nothing runs the callbacks any more: the instances may go.
        s.master.store(nullptr, std::memory_order_release);
        s.client.Close();
        s.ports = {};
        s.portBuffers = {};
    }
    // The manager closes the master first; a secondary closed alone while the master plays
    // would leave the callback a dangling instance.
    CJackOutput* self = this;
    s.secondary.compare_exchange_strong(self, nullptr);
    m_connection.reset();
    m_record = nullptr;
    return 0;
}

int CJackOutput::Start()
{
    AssertNotAudioThread("CJackOutput::Start");
    if (m_record == nullptr)
        return 1;
    ServerConnection& s = *m_connection;
    if (!IsMaster()) {
        // Normally the master's Start has already started this instance, in step with it.
        if (s.master.load() == nullptr)
            return 1;
        m_playing.store(true, std::memory_order_release);
        return 0;
    }
    if (s.serverLost.load())
        return 0;
    jack_client_t* client = s.client.Get();
    // A run that ended on the process thread left the client active.
    if (s.active) {
        jack_deactivate(client);
        s.active = false;
    }
    for (int entry = 0; entry < kEntries; ++entry) {
        if (s.table[entry] < 0 || s.ports[entry] != nullptr)
            continue;
        s.ports[entry] =
            jack_port_register(client, kPortNames[entry], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (s.ports[entry] == nullptr)
            return 0;
    }
    // No process callback runs now: both instances start from empty buffers, so the
    // secondary's frames stay in step with the master's.
    for (CJackOutput* instance : {this, s.secondary.load()}) {
        if (instance == nullptr)
            continue;
        instance->m_buffer.Clear();
        for (CPolyphaseResampler& resampler : instance->m_resamplers)
            resampler.Reset();
        instance->m_framesWritten.store(0);
        instance->m_carried.store(0);
        instance->m_playing.store(true, std::memory_order_release);
    }
    if (jack_activate(client) != 0) {
        m_playing.store(false);
        return 0;
    }
    s.active = true;
    for (int entry = 0; entry < kEntries; ++entry) {
        if (s.ports[entry] != nullptr)
            jack_connect(client, jack_port_name(s.ports[entry]), s.physicalPorts[s.table[entry]].c_str());
    }
    return 0;
}

int CJackOutput::Stop()
{
    m_playing.store(false, std::memory_order_release);
    // jack_deactivate waits for the running cycle: never from inside it, and never towards a
    // server that has gone.
    if (IsMaster()) {
        ServerConnection& s = *m_connection;
        if (s.active && !IsAudioThread() && !s.serverLost.load()) {
            jack_deactivate(s.client.Get());
            s.active = false;
        }
    }
    return 0;
}

int CJackOutput::Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept
{
    if (!m_playing.load(std::memory_order_acquire) || m_record == nullptr)
        return 1;
    const bool stereo = m_record->stereo != 0;
    const uint32_t channels = stereo ? 2 : 1;
    if (bytes < frames * channels * 2)
        return 1;
    const auto* in = static_cast<const int16_t*>(samples);
    if (m_resample) {
        const uint32_t room = m_buffer.Room();
        const uint32_t left = m_resamplers[0].Process(in, channels, frames, m_buffer.Tail(0), room);
        const uint32_t right =
            m_resamplers[1].Process(in + (channels - 1), channels, frames, m_buffer.Tail(1), room);
        m_buffer.Grow(std::min(left, right));
    } else {
        m_buffer.AppendSamples(in, frames, stereo);
    }
    m_framesWritten.fetch_add(frames, std::memory_order_relaxed);
    return 0;
}

void CJackOutput::Deliver(ServerConnection& s, uint32_t frames) noexcept
{
    float* left = s.portBuffers[m_left];
    float* right = s.portBuffers[m_right];
    const uint32_t copied = m_buffer.Deliver(left, right, frames);
    if (left != nullptr || right != nullptr)
        m_framesToPorts.fetch_add(copied, std::memory_order_relaxed);
    // The switch in which the client ran out stops the run; its silence is the end, not a gap.
    if (copied < frames && m_playing.load(std::memory_order_relaxed))
        s.shortSwitches.fetch_add(1, std::memory_order_relaxed);
    m_carried.store(m_buffer.Carried(), std::memory_order_relaxed);
}

// The buffer switch.
int CJackOutput::Process(uint32_t frames, void* arg) noexcept
{
    // Also marked by the thread-init callback; marking here too keeps a Stop from inside the
    // cycle from ever deactivating the client it runs in.
    MarkAudioThread(true);
    ServerConnection& s = *static_cast<ServerConnection*>(arg);
    for (int entry = 0; entry < kEntries; ++entry) {
        float* buffer = nullptr;
        if (s.ports[entry] != nullptr) {
            buffer = static_cast<float*>(jack_port_get_buffer(s.ports[entry], frames));
            std::memset(buffer, 0, frames * sizeof(float));
        }
        s.portBuffers[entry] = buffer;
    }
    CJackOutput* master = s.master.load(std::memory_order_acquire);
    if (master == nullptr || !master->m_playing.load(std::memory_order_acquire))
        return 0;
    if (frames > s.bufferFrames) {
        // The server's buffer grew past what the blocks were sized for: silence until the
        // output is reopened.
        s.shortSwitches.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    const uint32_t ticks =
        CSwitchBuffer::TicksFor(frames, master->m_buffer.Carried(), s.recordRate, s.serverRate);
    if (ticks > 0)
        master->m_manager->RenderNext(static_cast<int>(ticks));
    master->Deliver(s, frames);
    CJackOutput* secondary = s.secondary.load(std::memory_order_acquire);
    if (secondary != nullptr && secondary->m_playing.load(std::memory_order_acquire))
        secondary->Deliver(s, frames);
    return 0;
}

int CJackOutput::OnXrun(void* arg) noexcept
{
    static_cast<ServerConnection*>(arg)->xruns.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void CJackOutput::OnThreadInit(void* /*arg*/) noexcept
{
    MarkAudioThread(true);
}

// Runs on a thread of libjack's when the server goes away; no JACK call may be made here.
void CJackOutput::OnShutdown(void* arg) noexcept
{
    ServerConnection& s = *static_cast<ServerConnection*>(arg);
    s.serverLost.store(true);
    if (CJackOutput* master = s.master.load(std::memory_order_acquire); master != nullptr)
        master->m_manager->Stop();
}

int CJackOutput::GetPosition(uint32_t& frames) noexcept
{
    frames = m_framesWritten.load(std::memory_order_relaxed);
    return m_record != nullptr ? 0 : 1;
}

uint32_t CJackOutput::Xruns() const noexcept
{
    return m_connection != nullptr ? m_connection->xruns.load(std::memory_order_relaxed) : 0;
}

uint32_t CJackOutput::ShortSwitches() const noexcept
{
    return m_connection != nullptr ? m_connection->shortSwitches.load(std::memory_order_relaxed) : 0;
}

bool CJackOutput::ServerLost() const noexcept
{
    return m_connection != nullptr && m_connection->serverLost.load();
}

int CJackOutput::Channel(Entry entry) const noexcept
{
    return m_connection != nullptr ? m_connection->table[entry] : -1;
}

int CJackOutput::OutputChannels() const noexcept
{
    return m_connection != nullptr ? static_cast<int>(m_connection->physicalPorts.size()) : 0;
}

uint32_t CJackOutput::ServerRate() const noexcept
{
    return m_connection != nullptr ? m_connection->serverRate : 0;
}

uint32_t CJackOutput::ServerBufferFrames() const noexcept
{
    return m_connection != nullptr ? m_connection->bufferFrames : 0;
}

bool CJackOutput::Resampling() const noexcept
{
    return m_connection != nullptr && m_connection->resample;
}

std::string CJackOutput::PortName(Entry entry) const
{
    jack_port_t* port = m_connection != nullptr ? m_connection->ports[entry] : nullptr;
    return port != nullptr ? jack_port_name(port) : std::string();
}
