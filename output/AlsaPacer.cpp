#include "AlsaPacer.h"

#include "AlsaPcm.h"
#include "AudioThread.h"
#include "OutputManager.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

CAlsaPacer::CAlsaPacer() = default;

CAlsaPacer::~CAlsaPacer()
{
    Stop();
    Join();
}

bool CAlsaPacer::Start(CAlsaPcm& pcm, COutputManager& manager, uint32_t blockFrames, uint32_t rateHz)
{
    AssertNotAudioThread("CAlsaPacer::Start");
    Join();
    m_pcm = &pcm;
    m_blockFrames = blockFrames;
    m_rateHz = rateHz != 0 ? rateHz : 44100;
    // Between wake-ups the device plays on at its rate; at most one block can play before the
    // next wake-up measures again.
    m_clock.SetFormat(m_rateHz, blockFrames);
    if (!m_wake.Valid())
        m_wake = CFileDescriptor(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    const int count = snd_pcm_poll_descriptors_count(pcm.Handle());
    if (!m_wake.Valid() || count <= 0)
        return false;
    m_pollFds.assign(static_cast<size_t>(count) + 1, pollfd{});
    Publish();
    return Launch(manager);
}

void CAlsaPacer::Wake() noexcept
{
    if (m_wake.Valid()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wake.Get(), &one, sizeof one);
    }
}

void CAlsaPacer::ResetPosition() noexcept
{
    m_position.Reset();
    CPacer::ResetPosition();
}

void CAlsaPacer::Publish() noexcept
{
    const uint32_t played = m_pcm->PlayedFrames();
    const uint32_t reported = m_position.Report(played, m_blockFrames);
    // Readers run the clock on by up to a block past this measurement, which is only true while
    // a block is still queued: otherwise the position would pass the frames written. A sound
    // server's PCM reports nothing queued until it has measured its latency (the first seconds
    // of a run) and a starved device has less than a block left; then the position holds.
    const bool playsOn = snd_pcm_state(m_pcm->Handle()) == SND_PCM_STATE_RUNNING &&
                         m_pcm->FramesWritten() - played >= m_blockFrames;
    m_clock.Publish(reported, playsOn);
}

void CAlsaPacer::Loop() noexcept
{
    snd_pcm_t* pcm = m_pcm->Handle();
    const auto pcmFds = static_cast<unsigned int>(m_pollFds.size() - 1);
    // A device that stops signalling (a server that hangs) is looked at again after a while
    // instead of leaving the thread asleep for good.
    const int timeoutMs = static_cast<int>(4000ull * m_blockFrames / m_rateHz) + 100;
    while (Running()) {
        const long avail = m_pcm->Avail();
        if (avail < 0) {
            LoseDevice();
            break;
        }
        if (avail >= static_cast<long>(m_blockFrames)) {
            m_manager->RenderNext(-1);
            Publish();
            continue;
        }
        Publish();
        snd_pcm_poll_descriptors(pcm, m_pollFds.data(), pcmFds);
        m_pollFds[pcmFds] = pollfd{m_wake.Get(), POLLIN, 0};
        if (poll(m_pollFds.data(), m_pollFds.size(), timeoutMs) <= 0)
            continue;
        if ((m_pollFds[pcmFds].revents & POLLIN) != 0) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(m_wake.Get(), &count, sizeof count);
            continue;
        }
        unsigned short events = 0;
        snd_pcm_poll_descriptors_revents(pcm, m_pollFds.data(), pcmFds, &events);
    }
}
