#include "SnapshotBox.h"

CSnapshotBox::~CSnapshotBox() = default;

void CSnapshotBox::Publish(std::unique_ptr<const CPlaySnapshot> snapshot)
{
    const CPlaySnapshot* raw = snapshot.get();
    if (m_owned)
        m_retired.push_back(std::move(m_owned));
    m_owned = std::move(snapshot);
    m_current.store(raw, std::memory_order_seq_cst);
    Reclaim();
}

size_t CSnapshotBox::Reclaim()
{
    const bool idle = m_readerIdle.load(std::memory_order_seq_cst);
    const uint64_t held = m_readerSerial.load(std::memory_order_seq_cst);
    std::erase_if(m_retired, [&](const std::unique_ptr<const CPlaySnapshot>& old) {
        // Serials rise with each publication: one below the serial the reader announced is
        // one it has left behind.
        return idle || old->Serial() < held;
    });
    return m_retired.size();
}

void CSnapshotBox::SetReaderIdle()
{
    m_readerIdle.store(true, std::memory_order_seq_cst);
    Reclaim();
}

const CPlaySnapshot* CSnapshotBox::Enter() noexcept
{
    m_readerIdle.exchange(false, std::memory_order_seq_cst);
    const CPlaySnapshot* snapshot = m_current.load(std::memory_order_seq_cst);
    if (snapshot != nullptr)
        m_readerSerial.store(snapshot->Serial(), std::memory_order_seq_cst);
    return snapshot;
}
