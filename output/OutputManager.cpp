#include "OutputManager.h"

#include "AudioBus.h"
#include "AudioClient.h"
#include "AudioThread.h"
#include "OutputDeviceInfo.h"
#include "OutputDevices.h"

#include <algorithm>

COutputManager::COutputManager() = default;

COutputManager::~COutputManager()
{
    Close();
}

COutputDriver* COutputManager::OpenMaster(COutputDeviceInfo& record)
{
    if (record.master == 0)
        return nullptr;
    return OpenMaster(record, CreateDriver(record));
}

COutputDriver* COutputManager::OpenMaster(COutputDeviceInfo& record, std::unique_ptr<COutputDriver> driver)
{
    AssertNotAudioThread("COutputManager::OpenMaster");
    if (record.master == 0 || driver == nullptr || m_master != nullptr)
        return nullptr;
    if (driver->Open(record, *this) != 0)
        return nullptr;
    m_master = std::move(driver);
    m_masterRecord = &record;
    m_ticks = std::min<uint32_t>((record.blockFrames + CAudioBus::kTickFrames - 1) / CAudioBus::kTickFrames,
                                 kMaxTicks);
    m_ticks = std::max<uint32_t>(m_ticks, 1);
    record.blockFrames = m_ticks * CAudioBus::kTickFrames;
    m_conversion = std::make_unique<uint8_t[]>(m_ticks * 512 + 16);
    m_sampleRate = record.sampleRate != 0 ? record.sampleRate : 44100;
    m_bus = std::make_unique<CAudioBus>(m_sampleRate, m_ticks);
    m_framesRendered.store(0, std::memory_order_relaxed);
    return m_master.get();
}

COutputDriver* COutputManager::AttachSecondary(COutputDeviceInfo& record)
{
    if (record.secondary == 0)
        return nullptr;
    record.master = 0;
    return AttachSecondary(record, CreateDriver(record));
}

COutputDriver* COutputManager::AttachSecondary(COutputDeviceInfo& record,
                                               std::unique_ptr<COutputDriver> driver)
{
    AssertNotAudioThread("COutputManager::AttachSecondary");
    if (record.secondary == 0 || driver == nullptr)
        return nullptr;
    record.master = 0;
    const auto slot = std::find(m_secondaries.begin(), m_secondaries.end(), nullptr);
    if (slot == m_secondaries.end() || m_master == nullptr)
        return nullptr;
    record.blockFrames = m_masterRecord->blockFrames;
    if (driver->Open(record, *this) != 0)
        return nullptr;
    *slot = std::move(driver);
    m_secondaryRecords[slot - m_secondaries.begin()] = &record;
    return slot->get();
}

int COutputManager::Start(CAudioClient& client, ClientRecord& clientRecord)
{
    AssertNotAudioThread("COutputManager::Start");
    m_client = &client;
    m_clientRecord = &clientRecord;
    m_running.store(true, std::memory_order_release);
    if (m_master != nullptr)
        m_master->Start();
    for (auto& secondary : m_secondaries) {
        if (secondary != nullptr)
            secondary->Start();
    }
    return 0;
}

void COutputManager::Stop()
{
    if (!m_running.exchange(false, std::memory_order_acq_rel))
        return;
    if (m_master != nullptr)
        m_master->Stop();
    for (auto& secondary : m_secondaries) {
        if (secondary != nullptr)
            secondary->Stop();
    }
    if (m_client != nullptr)
        m_client->Stop(m_clientRecord->flags);
    m_framesRendered.store(0, std::memory_order_relaxed);
}

void COutputManager::Close()
{
    AssertNotAudioThread("COutputManager::Close");
    Stop();
    if (m_master != nullptr) {
        m_master->Close();
        m_master.reset();
    }
    for (int slot = 0; slot < kSecondaries; ++slot) {
        if (m_secondaries[slot] != nullptr) {
            m_secondaries[slot]->Close();
            m_secondaries[slot].reset();
        }
        m_secondaryRecords[slot] = nullptr;
    }
    m_masterRecord = nullptr;
    m_bus.reset();
    m_conversion.reset();
}

int COutputManager::RenderNext(int ticks) noexcept
{
    if (m_busy.exchange(true, std::memory_order_acquire))
        return 1;
    if (m_bus == nullptr || m_client == nullptr) {
        m_busy.store(false, std::memory_order_release);
        return 1;
    }
    if (ticks > 0)
        m_ticks = std::min<uint32_t>(static_cast<uint32_t>(ticks), m_bus->TicksPerBlock());
    const uint32_t rendered = m_framesRendered.load(std::memory_order_relaxed);
    m_bus->Clear(static_cast<int32_t>(static_cast<uint64_t>(rendered) * 1000 / m_sampleRate));
    m_clientRecord->heard = HeardGroups();
    if (m_client->Render(*m_clientRecord, *m_bus, 0, static_cast<uint16_t>(m_ticks)) == 0) {
        Stop();
        m_busy.store(false, std::memory_order_release);
        return 0;
    }
    m_framesRendered.store(rendered + m_ticks * CAudioBus::kTickFrames, std::memory_order_relaxed);
    if (m_master != nullptr)
        WriteTo(*m_master, *m_masterRecord);
    for (int slot = 0; slot < kSecondaries; ++slot) {
        if (m_secondaries[slot] != nullptr)
            WriteTo(*m_secondaries[slot], *m_secondaryRecords[slot]);
    }
    if (m_master != nullptr)
        m_master->Commit();
    m_busy.store(false, std::memory_order_release);
    return 0;
}

uint8_t COutputManager::HeardGroups() const noexcept
{
    uint8_t heard = 0;
    const auto add = [&](const COutputDeviceInfo& record) {
        heard |= record.mainGroupMask;
        if (record.stereo != 0 && record.split != 0)
            heard |= record.secondGroupMask;
    };
    if (m_master != nullptr)
        add(*m_masterRecord);
    for (int slot = 0; slot < kSecondaries; ++slot) {
        if (m_secondaries[slot] != nullptr)
            add(*m_secondaryRecords[slot]);
    }
    return heard;
}

void COutputManager::WriteTo(COutputDriver& driver, const COutputDeviceInfo& record) noexcept
{
    const uint32_t frames = m_ticks * CAudioBus::kTickFrames;
    uint8_t* buffer = m_conversion.get();
    uint32_t bytes = 0;
    if (record.bytesPerSample == 1 || record.bytesPerSample == 2) {
        const DeviceFormat format = record.bytesPerSample == 2 ? DeviceFormat::S16 : DeviceFormat::U8;
        if (record.stereo != 0 && record.split != 0)
            m_bus->FoldSplit(record.mainGroupMask, record.secondGroupMask, buffer, format);
        else if (record.stereo != 0)
            m_bus->FoldStereo(record.mainGroupMask, buffer, format);
        else
            m_bus->FoldMono(record.mainGroupMask, buffer, format);
        bytes = frames * record.bytesPerSample * (record.stereo != 0 ? 2 : 1);
    }
    driver.Write(buffer, bytes, frames);
}

uint32_t COutputManager::GetPlayedFrames(bool askDriver) const noexcept
{
    if (askDriver && m_running.load(std::memory_order_acquire) && m_master != nullptr) {
        uint32_t frames = 0;
        if (m_master->GetPosition(frames) == 0)
            return frames;
    }
    return m_framesRendered.load(std::memory_order_relaxed);
}

uint32_t COutputManager::PlayClockMs() const noexcept
{
    return static_cast<uint32_t>(static_cast<uint64_t>(GetPlayedFrames(true)) * 1000 / m_sampleRate);
}

COutputDriver* COutputManager::Secondary(int slot) const noexcept
{
    return slot >= 0 && slot < kSecondaries ? m_secondaries[slot].get() : nullptr;
}
