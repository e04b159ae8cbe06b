#pragma once

#include <cstdint>
#include <memory>

// Sample layouts a device buffer may take. Multi-byte forms are little-endian.
enum class DeviceFormat : uint8_t {
    S16,   // signed 16-bit
    U16,   // unsigned 16-bit (sign bit flipped)
    S8,    // signed 8-bit (sample / 256)
    U8,    // unsigned 8-bit (sample / 256 + 128)
    S24,   // 24-bit with a zero low byte
    S32,   // sample shifted left by 16
    Float, // 32-bit float, sample * 2^-15
};

int BytesPerSample(DeviceFormat format) noexcept;

// One mono buffer of samples with a stereo position and a pending gain. A buffer never holds a
// raw sum: mixing forms the gain-weighted average of the two buffers and adds their gains, so
// nothing clips until ApplyGain multiplies the gain out once, with saturation.
//
// A buffer either owns its samples or is a view into memory owned by someone else (the bus's
// slices are views into one allocation per channel). Virtual slots keep their order.
class CSampleBuffer {
public:
    static constexpr uint32_t kUnityGain = 0x8000; // Q15

    CSampleBuffer() = default;
    virtual ~CSampleBuffer();
    CSampleBuffer(const CSampleBuffer&) = delete;
    CSampleBuffer& operator=(const CSampleBuffer&) = delete;

    // Setup, off the audio thread: these allocate.
    // Owning buffer of length samples of width bytes (1, 2 or 4), cleared; gain becomes unity.
    virtual void Init(uint8_t width, uint32_t rate, uint32_t length);
    // Keeps the first samples, clears new ones; 0 frees the samples.
    virtual void SetLength(uint32_t length);

    // Audio thread: none of these allocate.
    virtual void FlipSign() noexcept;
    // 1 <-> 2 bytes in place (the storage of an owning buffer is sized for the wider form).
    virtual void ChangeWidth(uint8_t width) noexcept;
    virtual void ApplyGain() noexcept;
    // ApplyGain, then write length samples to device in format. 16-bit buffers only: the
    // engine renders nothing else.
    virtual void WriteMono(void* device, DeviceFormat format) noexcept;
    // ApplyGain on both, then interleave this (left) with right.
    virtual void WritePair(CSampleBuffer& right, void* device, DeviceFormat format) noexcept;
    // Fill from interleaved 16-bit stereo: one channel (0 left, 1 right), or both into this and right.
    virtual void ReadChannel(const int16_t* interleaved, uint32_t frames, int channel) noexcept;
    virtual void ReadPair(CSampleBuffer& right, const int16_t* interleaved, uint32_t frames) noexcept;

    // Makes this buffer a 16-bit view of length samples at data (not owned), gain 0, pan 0.
    void AttachView(int16_t* data, uint32_t length, uint32_t rate) noexcept;

    // Each sample * 2^-15 into out[0 .. length).
    void ToFloat(float* out) const noexcept;
    // value * 32767 rounded to nearest, low 16 bits kept: the mixer clips before this.
    void FromFloat(const float* in) noexcept;
    void CopyRange(const CSampleBuffer& source, uint32_t sourceFirst, uint32_t first,
                   uint32_t count) noexcept;
    void ClearRange(uint32_t first, uint32_t count) noexcept;

    // Mixes source samples [first, first + count) into this buffer as the average weighted by
    // sourceGain (for the source) and this buffer's gain; this buffer's gain becomes their sum.
    // The gain belongs to the whole buffer, so callers mix whole buffers (the bus's slices).
    void MixFrom(const CSampleBuffer& source, uint32_t sourceGain, uint32_t first, uint32_t count) noexcept;
    // Mixes this buffer into destination with this buffer's own gain.
    void MixInto(CSampleBuffer& destination, uint32_t first, uint32_t count) const noexcept
    {
        destination.MixFrom(*this, m_gain, first, count);
    }

    int16_t* Samples() noexcept { return static_cast<int16_t*>(m_data); }
    const int16_t* Samples() const noexcept { return static_cast<const int16_t*>(m_data); }
    void* Data() noexcept { return m_data; }
    uint8_t Width() const noexcept { return m_width; }
    int8_t Pan() const noexcept { return m_pan; }
    void SetPan(int8_t pan) noexcept { m_pan = pan; }
    uint32_t Gain() const noexcept { return m_gain; }
    void SetGain(uint32_t gain) noexcept { m_gain = gain; }
    uint32_t Rate() const noexcept { return m_rate; }
    void SetRate(uint32_t rate) noexcept { m_rate = rate; }
    uint32_t Length() const noexcept { return m_length; }

private:
    uint8_t m_width = 2;                  // bytes per sample: 1, 2 (the engine renders only 2) or 4
    int8_t m_pan = 0;                     // -128 hard left .. +127 hard right
    uint32_t m_gain = kUnityGain;         // pending linear gain, Q15
    uint32_t m_rate = 44100;              // Hz
    uint32_t m_length = 0;                // samples
    void* m_data = nullptr;               // m_storage, or memory of the owner of a view
    std::unique_ptr<int32_t[]> m_storage; // 4-byte aligned, sized for 4-byte samples
};
