#include "DecodeWorker.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// About 50 to 100 microseconds of spinning before the worker sleeps.
constexpr int kIdleSpins = 2000;
constexpr int kWaitSpins = 2000;

void Pause() noexcept
{
#if defined(__SSE2__)
    _mm_pause();
#endif
}

} // namespace

CDecodeWorker::CDecodeWorker(Job job) : m_job(std::move(job)), m_thread([this] { Run(); })
{
}

CDecodeWorker::~CDecodeWorker()
{
    Hand(kStop);
    m_thread.join();
}

void CDecodeWorker::Post(uint32_t deckMask)
{
    if (deckMask != 0)
        Hand(deckMask);
}

void CDecodeWorker::Hand(uint32_t value) noexcept
{
    Wait();
    m_posted.store(value, std::memory_order_seq_cst);
    // The worker announces its sleep before it looks a last time: either it sees the value or
    // this sees it asleep.
    if (m_sleeping.load(std::memory_order_seq_cst))
        m_posted.notify_one();
}

void CDecodeWorker::Wait() noexcept
{
    for (int spin = 0; m_posted.load(std::memory_order_acquire) != 0; ++spin) {
        if (spin < kWaitSpins)
            Pause();
        else
            std::this_thread::yield();
    }
}

void CDecodeWorker::Run()
{
    for (;;) {
        uint32_t posted = m_posted.load(std::memory_order_acquire);
        for (int spin = 0; posted == 0 && spin < kIdleSpins; ++spin) {
            Pause();
            posted = m_posted.load(std::memory_order_acquire);
        }
        if (posted == 0) {
            m_sleeping.store(true, std::memory_order_seq_cst);
            if (m_posted.load(std::memory_order_seq_cst) == 0)
                m_posted.wait(0, std::memory_order_acquire);
            m_sleeping.store(false, std::memory_order_relaxed);
            continue;
        }
        if (posted == kStop)
            return;
        m_job(posted);
        m_posted.store(0, std::memory_order_release);
    }
}
