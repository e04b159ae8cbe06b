#include "CdReader.h"

#include "CdTrackSource.h"

#include <cctype>
#include <chrono>

namespace {

// Waits on conditions that are signalled rather than polling every 30 ms, so nothing waits longer
// than needed; the deadline only guards against a drive that hangs.
constexpr auto kIdleDeadline = std::chrono::seconds(30);

} // namespace

CCdReader::~CCdReader()
{
    CloseAudioCd();
    std::thread thread;
    {
        std::lock_guard lock(m_slotLock);
        m_run = false;
        thread = std::move(m_thread);
    }
    m_wake.notify_all();
    if (thread.joinable())
        thread.join();
}

CCdReader& CCdReader::Program()
{
    static CCdReader reader;
    return reader;
}

int CCdReader::OpenAudioCd(char letter, bool reopen)
{
    if (reopen)
        CloseAudioCd();
    std::lock_guard drive(m_driveLock);
    {
        std::lock_guard lock(m_slotLock);
        if (m_tocLoaded.load())
            return m_toc.trackCount;
    }
    if (m_drive.Init(letter) != CCdDrive::kStatusOk || m_drive.ReadToc() != CCdDrive::kStatusOk) {
        m_drive.Release();
        return 0;
    }
    std::lock_guard lock(m_slotLock);
    m_toc = m_drive.Toc();
    m_letter = m_drive.Letter();
    m_abort = false;
    m_tocLoaded.store(true);
    return m_toc.trackCount;
}

void CCdReader::CloseAudioCd()
{
    {
        std::lock_guard lock(m_slotLock);
        if (!m_tocLoaded.load())
            return;
        m_abort = true;
        m_drive.SetAbort(true);
        m_tocLoaded.store(false);
        m_toc = CdToc{};
        m_event = true;
    }
    m_wake.notify_all();
    {
        // Requests still in the slots are answered without a read; wait for the reader to let go.
        std::unique_lock lock(m_slotLock);
        m_changed.wait_for(lock, kIdleDeadline,
                           [this] { return m_served == nullptr && !AnyRequestLocked(); });
    }
    // A range being read ends after its current chunk; the drive lock waits for that.
    std::lock_guard drive(m_driveLock);
    m_drive.Release();
}

int CCdReader::GetCdTrackLength(int index, int& seconds) const
{
    std::lock_guard lock(m_slotLock);
    if (!m_tocLoaded.load() || index < 0 || index >= m_toc.trackCount)
        return 0;
    const uint32_t sectors = CCdDrive::MsfSectors(m_toc.length[static_cast<size_t>(index)]);
    seconds = static_cast<int>((uint64_t{sectors} * 588 + 22050) / 44100);
    return 1;
}

bool CCdReader::TrackExtent(int index, uint32_t& start, uint32_t& length) const
{
    std::lock_guard lock(m_slotLock);
    if (!m_tocLoaded.load() || index < 0 || index >= m_toc.trackCount)
        return false;
    const auto i = static_cast<size_t>(index);
    length = CCdDrive::MsfSectors(m_toc.length[i]);
    // A track's sectors are numbered from the end of the 150-sector pre-gap at 00:02:00.
    start = CCdDrive::MsfSectors(m_toc.start[i]) - 150;
    return length > 0;
}

int CCdReader::Register(CCdTrackSource& source, char letter)
{
    std::lock_guard threads(m_threadLock);
    bool start = false;
    int slot = -1;
    {
        std::lock_guard lock(m_slotLock);
        const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
        // Only the open CD can be read: a path naming another drive would play the wrong disc.
        if (!m_tocLoaded.load() || upper != m_letter)
            return -1;
        for (int i = 0; i < kSlots && slot < 0; ++i) {
            if (m_slots[static_cast<size_t>(i)].owner == nullptr)
                slot = i;
        }
        if (slot < 0)
            return -1;
        Slot& entry = m_slots[static_cast<size_t>(slot)];
        entry = Slot{};
        entry.owner = &source;
        start = !m_run;
        m_run = true;
    }
    if (start) {
        if (m_thread.joinable())
            m_thread.join();
        m_thread = std::thread([this] { Run(); });
    }
    return slot;
}

void CCdReader::Unregister(int slot, CCdTrackSource& source)
{
    if (slot < 0 || slot >= kSlots)
        return;
    std::lock_guard threads(m_threadLock);
    bool last = false;
    {
        std::unique_lock lock(m_slotLock);
        Slot& entry = m_slots[static_cast<size_t>(slot)];
        if (entry.owner != &source)
            return;
        AbortIfServingLocked(source);
        entry.source = nullptr;
        // The reader may still be inside a chunk of this source; it must not touch it afterwards.
        m_changed.wait(lock, [this, &source] { return m_served != &source; });
        entry = Slot{};
        last = m_slots[0].owner == nullptr && m_slots[1].owner == nullptr;
        if (last)
            m_run = false;
    }
    if (last) {
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
}

void CCdReader::WaitDone(int slot)
{
    if (slot < 0 || slot >= kSlots)
        return;
    std::unique_lock lock(m_slotLock);
    m_changed.wait(lock, [this, slot] { return m_slots[static_cast<size_t>(slot)].done; });
}

void CCdReader::RequestLocked(int slot, CCdTrackSource& source, int first, int count)
{
    Slot& entry = m_slots[static_cast<size_t>(slot)];
    entry.source = &source;
    entry.first = first;
    entry.count = count;
    entry.done = false;
    m_event = true;
    m_wake.notify_one();
}

void CCdReader::AbortIfServingLocked(const CCdTrackSource& source)
{
    if (m_served == &source) {
        m_abort = true;
        m_drive.SetAbort(true);
    }
}

bool CCdReader::AnyRequestLocked() const
{
    return m_slots[0].source != nullptr || m_slots[1].source != nullptr;
}

void CCdReader::StoreChunk(CCdTrackSource& source, uint32_t first, uint32_t bytes, const CCdDrive& drive)
{
    std::lock_guard lock(m_slotLock);
    // An aborted range stores nothing: the source may already have moved its windows.
    if (m_abort)
        return;
    source.StoreLocked(static_cast<int>(first - source.TrackStart()),
                       static_cast<int>(bytes / CCdDrive::kSectorBytes), drive.Buffer());
}

void CCdReader::Run()
{
    std::unique_lock lock(m_slotLock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_event || !m_run; });
        if (!m_run)
            break;
        do {
            const int index = m_next;
            Slot& slot = m_slots[static_cast<size_t>(index)];
            if (slot.source != nullptr) {
                // Taking the request out of the slot consumes it: a new request may replace it at once.
                CCdTrackSource& source = *slot.source;
                slot.source = nullptr;
                m_served = &source;
                const uint32_t first = source.TrackStart() + static_cast<uint32_t>(slot.first);
                const uint32_t end = first + static_cast<uint32_t>(slot.count);
                m_abort = false;
                m_drive.SetAbort(false);
                lock.unlock();
                bool good = false;
                {
                    std::lock_guard drive(m_driveLock);
                    if (m_tocLoaded.load()) {
                        m_drive.SetRange(first, end);
                        good = m_drive.ReadRange([this, &source](uint32_t chunk, uint32_t rangeEnd,
                                                                 uint32_t bytes, const CCdDrive& drive) {
                            if (chunk < rangeEnd)
                                StoreChunk(source, chunk, bytes, drive);
                        }) == CCdDrive::kStatusOk;
                    }
                }
                lock.lock();
                if (!m_abort)
                    source.EndReadLocked(good);
                // A seek may have put a new request into the slot meanwhile; that one is not done.
                if (slot.source == nullptr)
                    slot.done = true;
                m_changed.notify_all();
            }
            m_next = 1 - index;
        } while (AnyRequestLocked() && m_run);
        m_served = nullptr;
        m_event = false;
        m_changed.notify_all();
    }
    m_served = nullptr;
    m_changed.notify_all();
}
