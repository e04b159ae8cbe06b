#include "AnalysisWorker.h"

#include "TrackAnalyser.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// SCHED_IDLE runs the thread only when a core has nothing else to do; a kernel without it
// still gets nice 19. Neither needs privileges.
void LowerOwnPriority()
{
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
}

} // namespace

CAnalysisWorker::CAnalysisWorker(std::string cachePath, Priority priority, std::function<void()> notify)
    : m_cachePath(std::move(cachePath)), m_notify(std::move(notify)),
      m_thread([this, priority] { Run(priority); })
{
}

CAnalysisWorker::~CAnalysisWorker()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_cancel.store(true);
    m_wake.notify_all();
    m_thread.join();
}

void CAnalysisWorker::Add(std::vector<Job> jobs)
{
    if (jobs.empty())
        return;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty() && !m_busy) {
            m_done = 0;
            m_total = 0;
        }
        m_total += static_cast<int>(jobs.size());
        for (Job& job : jobs)
            m_queue.push_back(std::move(job));
    }
    m_wake.notify_one();
}

std::vector<CAnalysisWorker::Result> CAnalysisWorker::TakeResults()
{
    std::lock_guard lock(m_mutex);
    std::vector<Result> results;
    results.swap(m_outbox);
    return results;
}

CAnalysisWorker::Progress CAnalysisWorker::GetProgress() const
{
    std::lock_guard lock(m_mutex);
    if (m_queue.empty() && !m_busy)
        return {};
    return {m_done, m_total};
}

bool CAnalysisWorker::WaitIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return m_queue.empty() && !m_busy; });
}

void CAnalysisWorker::Run(Priority priority)
{
    if (priority == Priority::Idle)
        LowerOwnPriority();
    if (!m_cachePath.empty())
        m_cache.Load(m_cachePath);
    bool cacheChanged = false;
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            break;
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();

        Result result{job.entryId, job.path, {}};
        const std::optional<CAnalysisCache::Key> key = CAnalysisCache::KeyOf(job.path);
        std::optional<TrackAnalysis> cached;
        if (key.has_value() && !job.again)
            cached = m_cache.Find(*key);
        if (cached.has_value()) {
            result.analysis = std::move(*cached);
        } else {
            result.analysis = CTrackAnalyser::Analyse(job.path.c_str(), &m_cancel);
            if (key.has_value() && result.analysis.status != AnalysisStatus::Cancelled) {
                m_cache.Store(*key, result.analysis);
                cacheChanged = true;
            }
        }

        lock.lock();
        if (result.analysis.status != AnalysisStatus::Cancelled)
            m_outbox.push_back(std::move(result));
        ++m_done;
        if (m_queue.empty() && cacheChanged && !m_cachePath.empty()) {
            // Written with the lock released, still busy, so WaitIdle sees the file complete.
            lock.unlock();
            m_cache.Save(m_cachePath);
            cacheChanged = false;
            lock.lock();
        }
        m_busy = false;
        if (m_queue.empty())
            m_idle.notify_all();
        lock.unlock();
        if (m_notify)
            m_notify();
        lock.lock();
    }
}
