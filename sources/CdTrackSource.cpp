#include "CdTrackSource.h"

#include "CdDrive.h"
#include "CdReader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>

namespace {

constexpr size_t kSectorBytes = CCdDrive::kSectorBytes;

bool Contains(const CCdTrackSource::Window& window, int sector)
{
    return sector >= window.first && sector - window.first < window.count;
}

// Sectors to read ahead (or behind) when x sectors remain held in that direction: topping up to
// 384 once fewer than 384 but at least 128 remain, a full step below that; whole chunks only.
int RefillAmount(int remaining)
{
    const int amount = remaining >= 128 && remaining <= CCdTrackSource::kAheadSectors
                           ? CCdTrackSource::kAheadSectors - remaining
                           : CCdTrackSource::kRequestSectors;
    return amount / CCdDrive::kSectorsPerRead * CCdDrive::kSectorsPerRead;
}

} // namespace

CCdTrackSource::CCdTrackSource() : CCdTrackSource(CCdReader::Program())
{
}

CCdTrackSource::CCdTrackSource(CCdReader& reader) : m_reader(reader)
{
}

CCdTrackSource::~CCdTrackSource()
{
    Close();
}

const char* CCdTrackSource::GetTitle() const
{
    return m_open ? m_title.c_str() : nullptr;
}

int CCdTrackSource::Open(const char* path)
{
    Close();
    // "X:\TrackNN.cda": the track number stands at positions 8 and 9.
    if (path == nullptr || std::strlen(path) < 10 || path[8] < '0' || path[8] > '9' || path[9] < '0' ||
        path[9] > '9')
        return 0;
    const int index = (path[8] - '0') * 10 + (path[9] - '0') - 1;
    uint32_t start = 0;
    uint32_t length = 0;
    if (!m_reader.TrackExtent(index, start, length))
        return 0;
    try {
        m_title = "CD Track " + std::to_string(index + 1);
        if (!m_ring)
            m_ring = std::make_unique<uint8_t[]>(kRingSectors * kSectorBytes);
    } catch (const std::bad_alloc&) {
        m_title.clear();
        return 0;
    }
    m_trackStart = start;
    m_lengthSectors = static_cast<int>(length);
    m_slot = m_reader.Register(*this, path[0]);
    if (m_slot < 0) {
        m_title.clear();
        return 0;
    }
    {
        std::lock_guard lock(m_reader.SlotLock());
        m_current = 0;
        m_held = Window{};
        m_reading = Window{};
        RequestLocked(kRequestSectors, true);
    }
    m_reader.WaitDone(m_slot);
    m_open = true;
    return 1;
}

void CCdTrackSource::Close()
{
    if (m_slot >= 0)
        m_reader.Unregister(m_slot, *this);
    m_slot = -1;
    m_open = false;
    m_title.clear();
    m_lengthSectors = 0;
}

void CCdTrackSource::SeekBlock(int index)
{
    if (m_slot < 0)
        return;
    std::lock_guard lock(m_reader.SlotLock());
    SeekLocked(index);
}

int CCdTrackSource::GetCurrentBlock() const
{
    if (m_slot < 0)
        return 0;
    std::lock_guard lock(m_reader.SlotLock());
    return m_current;
}

int CCdTrackSource::ReadBlock(int16_t* left, int16_t* right)
{
    if (m_slot < 0)
        return 0;
    std::lock_guard lock(m_reader.SlotLock());
    int frames = 0;
    if (Contains(m_held, m_current)) {
        const uint8_t* sector = m_ring.get() + static_cast<size_t>(m_current % kRingSectors) * kSectorBytes;
        for (int i = 0; i < kSectorFrames; ++i, sector += 4) {
            left[i] = static_cast<int16_t>(static_cast<uint16_t>(sector[0] | (sector[1] << 8)));
            right[i] = static_cast<int16_t>(static_cast<uint16_t>(sector[2] | (sector[3] << 8)));
        }
        frames = kSectorFrames;
    }
    SeekLocked(m_current + 1);
    return frames;
}

CCdTrackSource::Window CCdTrackSource::HeldWindow() const
{
    std::lock_guard lock(m_reader.SlotLock());
    return m_held;
}

CCdTrackSource::Window CCdTrackSource::ReadingWindow() const
{
    std::lock_guard lock(m_reader.SlotLock());
    return m_reading;
}

void CCdTrackSource::SeekLocked(int sector)
{
    m_current = sector;
    if (sector < 0 || sector >= m_lengthSectors)
        return; // nothing to read outside the track
    const int heldEnd = m_held.first + m_held.count;
    if (Contains(m_held, sector)) {
        if (m_reading != m_held)
            return; // a read is outstanding; the next seek looks again
        // A window that starts at the track's start has nothing to read behind it.
        const int before = m_held.first == 0 ? INT_MAX : sector - m_held.first;
        const int after = heldEnd - sector;
        int amount = 0;
        bool forward = true;
        if (before < after) {
            if (before < kAheadSectors) {
                amount = RefillAmount(before);
                forward = false;
            }
        } else if (after < kAheadSectors) {
            amount = RefillAmount(after);
        }
        if (amount > 64)
            RequestLocked(amount, forward);
        return;
    }
    if (Contains(m_reading, sector))
        return;
    // The target lies outside both windows: whatever is being read is not wanted now.
    m_reader.AbortIfServingLocked(*this);
    m_reading = m_held;
    const int distance = sector < m_held.first ? sector - m_held.first : sector - heldEnd;
    if (distance < 0 && distance > -kRestartDistance) {
        RequestLocked(kRequestSectors, false);
    } else if (distance < 0 || distance >= kRestartDistance) {
        m_held = Window{std::max(sector - kRestartLead, 0), 0};
        m_reading = m_held;
        RequestLocked(kRequestSectors, true);
    } else {
        RequestLocked(kRequestSectors, true);
    }
}

void CCdTrackSource::RequestLocked(int count, bool forward)
{
    int first = 0;
    if (forward) {
        first = m_reading.first + m_reading.count;
        count = std::min(count, m_lengthSectors - first);
        if (count <= 0)
            return;
        m_reading.count += count;
        // The ring holds 768 sectors: the oldest ones behind make room.
        const int overflow = m_reading.count - kRingSectors;
        if (overflow > 0) {
            m_reading.first += overflow;
            m_reading.count = kRingSectors;
            const int dropped = std::min(overflow, m_held.count);
            m_held.first += dropped;
            m_held.count -= dropped;
        }
    } else {
        first = std::max(m_reading.first - count, 0);
        count = m_reading.first - first;
        if (count <= 0)
            return;
        m_reading.first = first;
        m_reading.count += count;
        if (m_reading.count > kRingSectors) {
            m_reading.count = kRingSectors;
            const int readingEnd = m_reading.first + m_reading.count;
            m_held.count = std::max(0, std::min(m_held.count, readingEnd - m_held.first));
        }
    }
    m_reader.RequestLocked(m_slot, *this, first, count);
}

void CCdTrackSource::StoreLocked(int first, int count, const uint8_t* sectors)
{
    if (!m_ring || sectors == nullptr)
        return;
    for (int i = 0; i < count; ++i) {
        const int sector = first + i;
        if (Contains(m_reading, sector))
            std::memcpy(m_ring.get() + static_cast<size_t>(sector % kRingSectors) * kSectorBytes,
                        sectors + static_cast<size_t>(i) * kSectorBytes, kSectorBytes);
    }
}

void CCdTrackSource::EndReadLocked(bool success)
{
    if (success)
        m_held = m_reading;
    else
        m_reading = m_held;
}
