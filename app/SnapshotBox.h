#pragma once

#include "PlaySnapshot.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// Hands snapshots from the user-interface thread to the audio thread through one atomic pointer.
// The audio thread takes the newest at the start of each tick and holds it until it takes the
// next, announcing the serial of the one it holds; a snapshot replaced by a newer one is freed by
// the user-interface thread only once the audio thread has announced a later serial (or is known
// to be stopped), so it is never freed while read.
//
// Threads: Publish, Latest, Reclaim and SetReaderIdle on the user-interface thread; Enter on the
// audio thread: no lock, no allocation.
class CSnapshotBox {
public:
    CSnapshotBox() = default;
    CSnapshotBox(const CSnapshotBox&) = delete;
    CSnapshotBox& operator=(const CSnapshotBox&) = delete;
    ~CSnapshotBox();

    // User-interface thread.
    void Publish(std::unique_ptr<const CPlaySnapshot> snapshot);
    const CPlaySnapshot* Latest() const noexcept { return m_owned.get(); }
    // Frees what the audio thread has left; the number still waiting.
    size_t Reclaim();
    // The audio thread has stopped taking snapshots (its output stopped): all old ones can go.
    void SetReaderIdle();
    size_t Retired() const noexcept { return m_retired.size(); }

    // Audio thread: the newest snapshot (null before the first), valid until the next Enter.
    const CPlaySnapshot* Enter() noexcept;

private:
    std::atomic<const CPlaySnapshot*> m_current{nullptr};
    std::unique_ptr<const CPlaySnapshot> m_owned; // the one m_current points at
    std::vector<std::unique_ptr<const CPlaySnapshot>> m_retired;
    std::atomic<uint64_t> m_readerSerial{0}; // serial of the snapshot the audio thread holds
    // Set by the user-interface thread when the audio thread stopped; cleared by the audio
    // thread's next Enter before it takes a pointer. Sequentially consistent with the pointer,
    // so a reclaim that still sees the flag set cannot miss a snapshot being taken.
    std::atomic<bool> m_readerIdle{true};
};
