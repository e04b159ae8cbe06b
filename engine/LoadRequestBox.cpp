#include "LoadRequestBox.h"

#include <cstring>

uint32_t CLoadRequestBox::Post(const char* path, int entryIndex, float bpm, float bpmQuality, bool pause,
                               double firstBeatMs) noexcept
{
    const size_t length = path == nullptr ? 0 : std::strlen(path);
    if (length >= kMaxPath)
        return 0;
    // At most two writers fill at once and at most two slots are published or being read, so a
    // free slot turns up within one pass; the loop only guards against a writer racing us to it.
    int slot = -1;
    while (slot < 0) {
        for (int i = 0; i < kSlots; ++i) {
            int expected = kFree;
            if (m_state[i].compare_exchange_strong(expected, kBusy, std::memory_order_acquire)) {
                slot = i;
                break;
            }
        }
    }
    Request& request = m_slots[slot];
    std::memcpy(request.path, path == nullptr ? "" : path, length + 1);
    request.entryIndex = entryIndex;
    request.bpm = bpm;
    request.bpmQuality = bpmQuality;
    request.firstBeatMs = firstBeatMs;
    request.pause = pause;
    uint64_t latest = m_latest.load(std::memory_order_acquire);
    uint64_t published = 0;
    uint32_t serial = 0;
    do {
        // The slot is not visible until the exchange succeeds, so its serial may be rewritten.
        serial = static_cast<uint32_t>(latest >> 8) + 1;
        request.serial = serial;
        published = static_cast<uint64_t>(serial) << 8 | static_cast<uint64_t>(slot);
    } while (!m_latest.compare_exchange_weak(latest, published, std::memory_order_acq_rel));
    const uint64_t replaced = latest & 0xFF;
    if (replaced != kNoSlot)
        m_state[replaced].store(kFree, std::memory_order_release);
    // The slot may already be taken and refilled by now: answer from the local copy.
    return serial;
}

bool CLoadRequestBox::Take(Request& out) noexcept
{
    uint64_t latest = m_latest.load(std::memory_order_acquire);
    do {
        if ((latest & 0xFF) == kNoSlot)
            return false;
    } while (!m_latest.compare_exchange_weak(latest, (latest & ~uint64_t{0xFF}) | kNoSlot,
                                             std::memory_order_acq_rel));
    const auto slot = static_cast<int>(latest & 0xFF);
    const Request& request = m_slots[slot];
    std::memcpy(out.path, request.path, std::strlen(request.path) + 1);
    out.entryIndex = request.entryIndex;
    out.bpm = request.bpm;
    out.bpmQuality = request.bpmQuality;
    out.firstBeatMs = request.firstBeatMs;
    out.pause = request.pause;
    out.serial = request.serial;
    m_state[slot].store(kFree, std::memory_order_release);
    return true;
}
