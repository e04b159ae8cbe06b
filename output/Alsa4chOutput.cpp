#include "Alsa4chOutput.h"

#include "AlsaDeviceList.h"
#include "AudioThread.h"
#include "OutputDeviceInfo.h"
#include "OutputDevices.h"
#include "OutputManager.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr uint32_t kChannels = 4;

// One four-channel block for the whole program, so that a master and a secondary fill the same
// frames. Touched only inside the master's render cycle once allocated (the secondary writes
// from within the master's RenderNext), so it needs no lock; the master's Open and Close
// allocate and free it while nothing renders.
struct SharedBlock {
    std::unique_ptr<int16_t[]> samples;
    uint32_t frames = 0;
};
SharedBlock g_shared;

// Copies the stereo frames into channels firstChannel and firstChannel + 1 of the shared block.
int Interleave(const void* samples, uint32_t bytes, uint32_t frames, uint32_t firstChannel) noexcept
{
    if (g_shared.samples == nullptr || frames > g_shared.frames || bytes < frames * 4)
        return 1;
    const auto* in = static_cast<const int16_t*>(samples);
    int16_t* out = g_shared.samples.get() + firstChannel;
    for (uint32_t frame = 0; frame < frames; ++frame, in += 2, out += kChannels) {
        out[0] = in[0];
        out[1] = in[1];
    }
    return 0;
}

} // namespace

CAlsa4chOutput::~CAlsa4chOutput()
{
    Close();
}

int CAlsa4chOutput::Open(COutputDeviceInfo& record, COutputManager& manager)
{
    AssertNotAudioThread("CAlsa4chOutput::Open");
    Close();
    m_record = &record;
    m_manager = &manager;
    if (record.master == 0)
        return 0;
    std::string name = m_pcmName;
    if (name.empty()) {
        const auto& devices = AlsaDevices::FourChannelPcms();
        if (record.device < OutputIds::kAlsa4chFirst ||
            record.device - OutputIds::kAlsa4chFirst >= devices.size())
            return OutputErrors::kBadDevice;
        name = devices[record.device - OutputIds::kAlsa4chFirst].pcmName;
    }
    if (record.bytesPerSample != 2)
        return OutputErrors::kBadFormat;
    int result = m_pcm.Open(name);
    if (result != 0)
        return result;
    if (m_pcm.MaxChannels() < kChannels) {
        m_pcm.Close();
        return OutputErrors::kNoCapabilities;
    }
    record.stereo = 1;
    result = m_pcm.Configure(SND_PCM_FORMAT_S16_LE, kChannels, record.sampleRate, record.blockFrames);
    if (result != 0) {
        m_pcm.Close();
        return result;
    }
    g_shared.samples = std::make_unique<int16_t[]>(static_cast<size_t>(record.blockFrames) * kChannels);
    g_shared.frames = record.blockFrames;
    return 0;
}

int CAlsa4chOutput::Close()
{
    AssertNotAudioThread("CAlsa4chOutput::Close");
    if (m_playing.load(std::memory_order_relaxed))
        Stop();
    if (!IsMaster() || !m_pcm.IsOpen())
        return 0;
    m_pacer.Stop();
    m_pacer.Join();
    g_shared.samples.reset();
    g_shared.frames = 0;
    return m_pcm.Close() == 0 ? 0 : 1;
}

int CAlsa4chOutput::Start()
{
    AssertNotAudioThread("CAlsa4chOutput::Start");
    m_playing.store(true, std::memory_order_release);
    if (!IsMaster())
        return 0;
    if (!m_pcm.IsOpen())
        return 1;
    m_pacer.Join();
    m_pacer.ResetPosition();
    m_pcm.Prepare();
    for (int block = 0; block < 2; ++block) {
        if (m_manager->RenderNext(-1) != 0)
            return 1;
    }
    if (!m_playing.load(std::memory_order_acquire))
        return 0;
    return m_pacer.Start(m_pcm, *m_manager, m_record->blockFrames, m_record->sampleRate) ? 0 : 1;
}

int CAlsa4chOutput::Stop()
{
    m_playing.store(false, std::memory_order_release);
    if (!IsMaster())
        return 0;
    m_pacer.Stop();
    if (!m_pacer.OnPacingThread())
        m_pacer.Join();
    m_pcm.Drop();
    m_pacer.ResetPosition();
    return 0;
}

int CAlsa4chOutput::Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept
{
    if (!IsMaster())
        return Interleave(samples, bytes, frames, 2);
    if (g_shared.samples == nullptr || frames > g_shared.frames)
        return 1;
    // The second pair starts silent: without a secondary of this kind it stays so.
    for (uint32_t frame = 0; frame < frames; ++frame) {
        g_shared.samples[frame * kChannels + 2] = 0;
        g_shared.samples[frame * kChannels + 3] = 0;
    }
    m_commitFrames = frames;
    return Interleave(samples, bytes, frames, 0);
}

int CAlsa4chOutput::Commit() noexcept
{
    if (!IsMaster() || !m_playing.load(std::memory_order_acquire) || g_shared.samples == nullptr)
        return 1;
    return m_pcm.WriteBlock(g_shared.samples.get(), m_commitFrames);
}

int CAlsa4chOutput::GetPosition(uint32_t& frames) noexcept
{
    frames = 0;
    if (!IsMaster() || !m_pcm.IsOpen())
        return 1;
    frames = m_pacer.Position();
    return 0;
}
