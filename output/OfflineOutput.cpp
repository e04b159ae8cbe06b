#include "OfflineOutput.h"

#include "OutputDeviceInfo.h"
#include "OutputManager.h"

COfflineOutput::COfflineOutput(BlockHook beforeBlock, BlockSink sink)
    : m_beforeBlock(std::move(beforeBlock)), m_sink(std::move(sink))
{
}

int COfflineOutput::Open(COutputDeviceInfo& record, COutputManager& manager)
{
    m_record = &record;
    m_manager = &manager;
    return 0;
}

int COfflineOutput::Close()
{
    Stop();
    return 0;
}

int COfflineOutput::Start()
{
    if (m_manager == nullptr)
        return 1;
    if (m_record->master == 0)
        return 0; // a secondary only receives
    {
        std::lock_guard lock(m_lock);
        m_loopThread = std::this_thread::get_id();
        m_looping = true;
    }
    m_framesWritten.store(0, std::memory_order_relaxed);
    m_run.store(true, std::memory_order_release);
    while (m_run.load(std::memory_order_acquire)) {
        if (m_beforeBlock)
            m_beforeBlock();
        if (!m_run.load(std::memory_order_acquire))
            break;
        m_manager->RenderNext(-1);
    }
    {
        std::lock_guard lock(m_lock);
        m_looping = false;
    }
    m_loopDone.notify_all();
    return 0;
}

int COfflineOutput::Stop()
{
    m_run.store(false, std::memory_order_release);
    std::unique_lock lock(m_lock);
    if (m_looping && m_loopThread != std::this_thread::get_id())
        m_loopDone.wait(lock, [this] { return !m_looping; });
    return 0;
}

int COfflineOutput::Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept
{
    if (m_sink)
        m_sink(samples, bytes, frames);
    m_framesWritten.fetch_add(frames, std::memory_order_relaxed);
    m_blocks.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int COfflineOutput::GetPosition(uint32_t& frames) noexcept
{
    frames = m_framesWritten.load(std::memory_order_relaxed);
    return 0;
}
