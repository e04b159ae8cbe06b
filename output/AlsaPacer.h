#pragma once

#include "FileDescriptor.h"
#include "Pacer.h"
#include "PlayPosition.h"

#include <cstdint>
#include <poll.h>
#include <vector>

class CAlsaPcm;
class COutputManager;

// The pacing thread of an ALSA master: waits on the PCM and asks the manager for a block
// whenever a whole block fits in the ring, and keeps the play position that other threads
// read.
class CAlsaPacer : public CPacer {
public:
    CAlsaPacer();
    ~CAlsaPacer() override;

    // User-interface thread.
    // Starts the thread over an opened, primed PCM; the PCM and the manager outlive it.
    // false when the thread or its wake-up descriptor cannot be made.
    bool Start(CAlsaPcm& pcm, COutputManager& manager, uint32_t blockFrames, uint32_t rateHz);
    void ResetPosition() noexcept override;

private:
    void Loop() noexcept override;
    void Wake() noexcept override;
    void Publish() noexcept;

    CAlsaPcm* m_pcm = nullptr; // outlives the thread
    uint32_t m_blockFrames = 0;
    uint32_t m_rateHz = 44100;
    CFileDescriptor m_wake;               // eventfd: Stop wakes the poll with it
    std::vector<struct pollfd> m_pollFds; // the PCM's descriptors and the wake-up, made at Start
    CPlayPosition m_position;             // pacing thread
};
