#include "PacedOutput.h"

#include "AudioThread.h"
#include "OutputDeviceInfo.h"
#include "OutputManager.h"
#include "Pacer.h"

bool CPacedOutput::IsMaster() const noexcept
{
    return m_record != nullptr && m_record->master != 0;
}

int CPacedOutput::Open(COutputDeviceInfo& record, COutputManager& manager)
{
    AssertNotAudioThread("CPacedOutput::Open");
    Close();
    m_record = &record;
    m_manager = &manager;
    return OpenDevice(record);
}

int CPacedOutput::Close()
{
    AssertNotAudioThread("CPacedOutput::Close");
    if (m_playing.load(std::memory_order_relaxed))
        Stop();
    Pacing().Stop();
    Pacing().Join();
    return CloseDevice();
}

int CPacedOutput::Start()
{
    AssertNotAudioThread("CPacedOutput::Start");
    if (!OwnsDevice()) {
        SetPlaying(true);
        return 0;
    }
    Pacing().Join();
    if (PrepareDevice() != 0)
        return 1;
    Pacing().ResetPosition();
    SetPlaying(true);
    if (!IsMaster())
        return 0;
    // Both blocks of the device's buffer are filled before it starts, so the first wake-up
    // comes when the first block has played.
    for (int block = 0; block < 2; ++block) {
        if (m_manager->RenderNext(-1) != 0)
            return 1;
    }
    if (!Playing())
        return 0; // the client had nothing to give
    return StartPacing() ? 0 : 1;
}

int CPacedOutput::Stop()
{
    SetPlaying(false);
    if (!OwnsDevice())
        return 0;
    Pacing().Stop();
    if (!Pacing().OnPacingThread())
        Pacing().Join();
    DropDevice();
    Pacing().ResetPosition();
    return 0;
}

int CPacedOutput::Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept
{
    if (!Playing() || WriteBlock(samples, bytes, frames) != 0) {
        m_blocksDropped.fetch_add(1, std::memory_order_relaxed);
        return 1;
    }
    m_blocksWritten.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int CPacedOutput::GetPosition(uint32_t& frames) noexcept
{
    frames = 0;
    if (m_record == nullptr || !OwnsDevice() || !DeviceOpen())
        return 1;
    frames = Pacing().Position();
    return 0;
}
