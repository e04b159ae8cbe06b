#pragma once

#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <vector>

class CControlFunction;
class CControlTable;

// The mix channel table: the control function channels a Mix-File drives, in their fixed order,
// the value the stream last gave each of them, and which of them the user has taken over. A
// channel the user moves while the mix plays is taken over, if it may be, and replay no longer
// writes it until Play(on) hands every channel back.
//
// Threads: the mix's lock guards the table; the caller holds it unless a heading says otherwise.
// Nothing here allocates after registration.
class CMixChannels {
public:
    struct ChannelEntry {
        uint8_t channel = 0;
        CControlFunction* function = nullptr; // the control table outlives the mix
        int32_t lastValue = 0;                // the recorder's last written value
        uint16_t flags = 0;                   // kOverridable, kTakenOver
    };

    static constexpr uint16_t kOverridable = 1;
    static constexpr uint16_t kTakenOver = 2;

    CMixChannels();
    CMixChannels(const CMixChannels&) = delete;
    CMixChannels& operator=(const CMixChannels&) = delete;

    // User-interface thread, once at start-up: may allocate.
    void RegisterChannels(CControlTable& table);
    void Register(CControlFunction& function, bool overridable);

    // Any thread under the lock, the audio thread included: no allocation.
    // One value event of the stream: followed always, written into its channel when apply is
    // set and the channel is not taken over. An id the mix does not drive is ignored.
    void Follow(int32_t id, int channel, int32_t value, bool apply) noexcept;
    // Before the first tick of a rewound stream: no value followed yet.
    void ForgetValues() noexcept;
    // Writes every followed value again, into each channel not taken over.
    void WriteFollowedValues() noexcept;
    // A user's change since the engine last consumed an overridable channel is a take-over.
    void DetectTakeOvers() noexcept;
    // Hands every channel back if Play(on) asked for it since.
    void ReleasePending() noexcept;
    void TakeOverAll(bool on) noexcept;
    // Returns whether the channel was taken over before.
    bool TakeOver(int32_t id, int channel, bool on) noexcept;
    bool OverrideActive() const noexcept { return m_overrideActive; }
    bool TakenOver(int32_t id, int channel) const noexcept;
    std::vector<ChannelEntry>& Entries() noexcept { return m_entries; }

    // Any thread, without the lock.
    void RequestRelease() noexcept { m_releasePending.store(true, std::memory_order_release); }
    void RequestResync(bool on) noexcept { m_resyncPending.store(on, std::memory_order_release); }
    // True once per request.
    bool TakeResync() noexcept { return m_resyncPending.exchange(false, std::memory_order_acq_rel); }

private:
    static constexpr int32_t kUnknown = INT32_MIN;

    const ChannelEntry* FindEntry(int32_t id, int channel) const noexcept;
    ChannelEntry* FindEntry(int32_t id, int channel) noexcept;

    std::vector<ChannelEntry> m_entries;
    std::vector<int32_t> m_followed;        // per entry: the last value read, kUnknown before any
    std::array<int16_t, 1028> m_firstEntry; // id -> index of its channel 0 entry, -1: none
    bool m_overrideActive = false;
    std::atomic<bool> m_releasePending{false}; // Play(on) asked to hand every channel back
    std::atomic<bool> m_resyncPending{false};  // the next applied tick writes the whole state
};
