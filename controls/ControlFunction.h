#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

// One named, numbered control value with up to 16 channels (channel 0 = global or Deck A,
// 1 = Deck B) and a flag word per channel: bit 0 asks the control host to pass the value to the
// engine, bit 1 asks the displays to redraw it. Every input (keys, skin controls, Automix, the
// Mix-File replay) writes here, and the host applies what is pending once per tick.
//
// Threads: values and flags are single atomic words, written by the user-interface thread and
// the audio thread without a lock; a reader may see a value one tick old.
// What a write marks besides the value: Changed asks the displays to redraw it, Apply asks the
// control host to pass it to the engine on the next tick.
enum class Marks : uint8_t { None = 0, Apply = 1, Changed = 2, ChangedAndApply = 3 };

class CControlFunction {
public:
    static constexpr int kChannels = 16;
    static constexpr uint16_t kApplyPending = 1;
    static constexpr uint16_t kChanged = 2;

    // channelCount: 0 for one global value, 2 per deck, 5 for the internal cue functions;
    // maximum -1 for no limit.
    CControlFunction(const char* name, int32_t id, int channelCount, int32_t maximum, int32_t defaultValue);
    CControlFunction(const CControlFunction&) = delete;
    CControlFunction& operator=(const CControlFunction&) = delete;

    const std::string& Name() const noexcept { return m_name; }
    int32_t Id() const noexcept { return m_id; }
    int ChannelCount() const noexcept { return m_channelCount; }
    int32_t Maximum() const noexcept { return m_maximum; }
    int32_t Minimum() const noexcept { return 0; }
    int32_t Default() const noexcept { return m_default; }

    // Any thread. Channels outside 0..15 read 0 and change nothing.
    int32_t Value(int channel) const noexcept;
    uint16_t Flags(int channel) const noexcept;
    void Set(int channel, int32_t value, Marks marks) noexcept;
    // Stores value only while the channel still holds expected, and marks it as Set does: a
    // write-back from the control host must never overwrite a value an input stored meanwhile.
    // True when it stored.
    bool CompareAndSet(int channel, int32_t expected, int32_t value, Marks marks) noexcept;
    // Clears the apply-pending bit and tells whether it was set.
    bool TakeApplyPending(int channel) noexcept;
    // Clears the changed bit and tells whether it was set (displays).
    bool TakeChanged(int channel) noexcept;

private:
    static bool ValidChannel(int channel) noexcept { return channel >= 0 && channel < kChannels; }

    std::string m_name; // empty for the internal Mix-File functions
    int32_t m_id;
    int m_channelCount;
    int32_t m_maximum;
    int32_t m_default;
    std::array<std::atomic<int32_t>, kChannels> m_values;
    std::array<std::atomic<uint16_t>, kChannels> m_flags;
};
